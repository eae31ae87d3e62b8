#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/byte_range.h"

namespace quillmer {

// Why a "quillmer-review" request was not served; the page sees an ordinary failed load.
enum class SchemeFailure { fileDoesNotExist, cannotOpenFile, cannotDecodeContentData, badServerResponse };

// What to answer: status, headers and which bytes of which file. Transports read the bytes
// themselves (the web view in one piece; the loopback media server streams them).
struct SchemeResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::filesystem::path file;
    ByteRange range;

    std::optional<std::string> header(std::string_view name) const;
};

// Serves "quillmer-review://app/…" (the renderer's files), "…://evidence/<bundle>/<path>" (files of
// an opened export) and "…://media/<bundle>/screen.mp4" (the session video) straight from disk,
// with safe path resolution and byte ranges. Transport-free: URL and Range header in, response out.
class ReviewRendererScheme {
public:
    explicit ReviewRendererScheme(std::optional<std::filesystem::path> rendererDirectory);

    std::variant<SchemeResponse, SchemeFailure> respond(std::string_view url,
                                                        std::optional<std::string_view> rangeHeader) const;

    // The file a URL names, or nothing.
    std::optional<std::filesystem::path> resolve(std::string_view url) const;

    void registerEvidenceDirectory(const std::string& bundleID, const std::filesystem::path& exportFolder);
    void registerMedia(const std::string& bundleID, const std::filesystem::path& videoFile);

    // "quillmer-review://evidence/<bundle>/<percent-encoded path>".
    static std::string evidenceURL(const std::string& bundleID, std::string_view bundleRelativePath);

    // Registers the session video named by the bundle's "evidence.json" (session.id under
    // `sessionsRoot`) and returns "quillmer-review://media/<bundle>/screen.mp4"; nothing when the
    // export names no valid session or the video is missing.
    std::optional<std::string> mediaURL(const std::string& bundleID, const std::filesystem::path& exportFolder,
                                        const std::filesystem::path& sessionsRoot);

    const std::optional<std::filesystem::path>& rendererDirectory() const { return directory_; }

private:
    std::optional<std::filesystem::path> directory_;
    std::map<std::string, std::filesystem::path> evidenceDirectories_;
    std::map<std::string, std::filesystem::path> mediaURLs_;
};

// The MIME type for a file name's extension; "application/octet-stream" when unknown.
std::string mimeTypeForFile(const std::filesystem::path& file);

// Reads `range` of `file` in one piece. Throws FileSystemError.
std::string readFileRange(const std::filesystem::path& file, const ByteRange& range);

}  // namespace quillmer
