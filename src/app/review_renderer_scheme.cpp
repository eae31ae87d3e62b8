#include "app/review_renderer_scheme.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/ascii_case.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "core/json.h"
#include "core/percent_encoding.h"
#include "core/safe_path.h"
#include "core/uuid.h"

namespace quillmer {

namespace {

constexpr std::string_view kScheme = "quillmer-review://";

struct ParsedURL {
    std::string host;
    std::string path;  // still percent-encoded
};

std::optional<ParsedURL> parse(std::string_view url) {
    if (url.size() < kScheme.size()) return std::nullopt;
    for (size_t i = 0; i < kScheme.size(); ++i)
        if (asciiLowercased(url[i]) != kScheme[i]) return std::nullopt;
    url.remove_prefix(kScheme.size());
    url = url.substr(0, url.find_first_of("?#"));
    const size_t slash = url.find('/');
    return ParsedURL{asciiLowercased(url.substr(0, slash)),
                     slash == std::string_view::npos ? "" : std::string(url.substr(slash))};
}

std::vector<std::string> nonEmptyComponents(std::string_view path) {
    std::vector<std::string> components;
    size_t begin = 0;
    while (begin <= path.size()) {
        const size_t end = std::min(path.find('/', begin), path.size());
        if (end > begin) components.emplace_back(path.substr(begin, end - begin));
        begin = end + 1;
    }
    return components;
}

}  // namespace

std::optional<std::string> SchemeResponse::header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (key == name) return value;
    return std::nullopt;
}

ReviewRendererScheme::ReviewRendererScheme(std::optional<std::filesystem::path> rendererDirectory)
    : directory_(std::move(rendererDirectory)) {}

void ReviewRendererScheme::registerEvidenceDirectory(const std::string& bundleID, const std::filesystem::path& exportFolder) {
    evidenceDirectories_[bundleID] = exportFolder.lexically_normal();
}

void ReviewRendererScheme::registerMedia(const std::string& bundleID, const std::filesystem::path& videoFile) {
    mediaURLs_[bundleID] = videoFile;
}

std::optional<std::filesystem::path> ReviewRendererScheme::resolve(std::string_view url) const {
    const auto parsed = parse(url);
    if (!parsed) return std::nullopt;
    if (parsed->host == "app") {
        if (!directory_) return std::nullopt;
        return resolveUnderBase(*directory_, parsed->path);
    }
    const auto components = nonEmptyComponents(parsed->path);
    if (parsed->host == "media") {
        if (components.empty()) return std::nullopt;
        const auto it = mediaURLs_.find(components.front());
        if (it == mediaURLs_.end()) return std::nullopt;
        return it->second;
    }
    if (parsed->host == "evidence") {
        if (components.size() < 2) return std::nullopt;
        const auto it = evidenceDirectories_.find(components.front());
        if (it == evidenceDirectories_.end()) return std::nullopt;
        std::string rest;
        for (size_t i = 1; i < components.size(); ++i) rest += "/" + components[i];
        return resolveUnderBase(it->second, rest);
    }
    return std::nullopt;
}

std::variant<SchemeResponse, SchemeFailure> ReviewRendererScheme::respond(
    std::string_view url, std::optional<std::string_view> rangeHeader) const {
    const auto file = resolve(url);
    if (!file) return SchemeFailure::fileDoesNotExist;
    std::error_code error;
    if (!std::filesystem::is_regular_file(*file, error)) return SchemeFailure::fileDoesNotExist;
    const uint64_t size = std::filesystem::file_size(*file, error);
    if (error) return SchemeFailure::fileDoesNotExist;
    if (::access(file->c_str(), R_OK) != 0) return SchemeFailure::cannotOpenFile;

    SchemeResponse response;
    response.file = *file;
    response.range = byteRangeFromHeader(rangeHeader, size);
    response.headers = {{"Content-Type", mimeTypeForFile(*file)},
                        {"Accept-Ranges", "bytes"},
                        {"Content-Length", std::to_string(response.range.length())}};
    if (!response.range.isWholeFile(size)) {
        response.status = 206;
        response.headers.emplace_back("Content-Range", "bytes " + std::to_string(response.range.start) + "-" +
                                                           std::to_string(response.range.end - 1) + "/" +
                                                           std::to_string(size));
    }
    return response;
}

std::string ReviewRendererScheme::evidenceURL(const std::string& bundleID, std::string_view bundleRelativePath) {
    std::string encoded;
    size_t begin = 0;
    for (;;) {
        const size_t slash = bundleRelativePath.find('/', begin);
        encoded += percentEncodedPath(bundleRelativePath.substr(begin, slash - begin));
        if (slash == std::string_view::npos) break;
        encoded += '/';
        begin = slash + 1;
    }
    return std::string(kScheme) + "evidence/" + bundleID + "/" + encoded;
}

std::optional<std::string> ReviewRendererScheme::mediaURL(const std::string& bundleID,
                                                          const std::filesystem::path& exportFolder,
                                                          const std::filesystem::path& sessionsRoot) {
    std::optional<Uuid> sessionID;
    try {
        const Json evidence = parseJSON(readWholeFile(exportFolder / "evidence.json"));
        if (evidence.is_object() && evidence.contains("session") && evidence["session"].is_object()) {
            const auto& id = evidence["session"]["id"];
            if (id.is_string()) sessionID = Uuid::parse(id.get<std::string>());
        }
    } catch (const Error&) {
        return std::nullopt;
    }
    if (!sessionID) return std::nullopt;
    const auto video = sessionsRoot / sessionID->toString() / "screen.mp4";
    std::error_code error;
    if (!std::filesystem::exists(video, error)) return std::nullopt;
    registerMedia(bundleID, video);
    return std::string(kScheme) + "media/" + bundleID + "/screen.mp4";
}

std::string mimeTypeForFile(const std::filesystem::path& file) {
    static const std::map<std::string, std::string> types = {
        {".html", "text/html"},        {".htm", "text/html"},         {".js", "text/javascript"},
        {".mjs", "text/javascript"},   {".css", "text/css"},          {".json", "application/json"},
        {".map", "application/json"},  {".md", "text/markdown"},      {".txt", "text/plain"},
        {".png", "image/png"},         {".jpg", "image/jpeg"},        {".jpeg", "image/jpeg"},
        {".gif", "image/gif"},         {".webp", "image/webp"},       {".svg", "image/svg+xml"},
        {".ico", "image/vnd.microsoft.icon"}, {".mp4", "video/mp4"},  {".m4v", "video/x-m4v"},
        {".mov", "video/quicktime"},   {".m4a", "audio/mp4"},         {".woff", "font/woff"},
        {".woff2", "font/woff2"},      {".wasm", "application/wasm"}, {".vtt", "text/vtt"},
    };
    const auto it = types.find(asciiLowercased(file.extension().string()));
    return it == types.end() ? "application/octet-stream" : it->second;
}

std::string readFileRange(const std::filesystem::path& file, const ByteRange& range) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw FileSystemError("Could not read " + file.string() + ": " + std::strerror(errno));
    std::string bytes(range.length(), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(range.start + done));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            ::close(fd);
            throw FileSystemError("Could not read " + file.string() + ": the file is shorter than expected");
        }
        done += static_cast<size_t>(count);
    }
    ::close(fd);
    return bytes;
}

}  // namespace quillmer
