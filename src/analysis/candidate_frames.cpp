#include "analysis/candidate_frames.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <vector>

#include "core/ascii_case.h"
#include "core/error.h"
#include "core/percent_encoding.h"
#include "core/safe_path.h"

namespace quillmer {

namespace {

bool isBundleRelative(std::string_view path) {
    if (path.empty() || path.front() == '/') return false;
    for (size_t start = 0; start <= path.size();) {
        const size_t end = std::min(path.find('/', start), path.size());
        if (path.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

// At most `limit` + 1 bytes, so an oversized file is noticed without reading it whole.
std::string readAtMost(const std::filesystem::path& file, size_t limit, const std::string& shownPath) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) throw FileSystemError("The evidence frame " + shownPath + " could not be read.");
    std::string bytes;
    std::error_code sizeError;
    bytes.reserve(std::min<uintmax_t>(std::filesystem::file_size(file, sizeError) * !sizeError, limit + 1));
    char buffer[1 << 16];
    while (bytes.size() <= limit && stream.read(buffer, sizeof buffer).gcount() > 0)
        bytes.append(buffer, static_cast<size_t>(stream.gcount()));
    if (stream.bad()) throw FileSystemError("The evidence frame " + shownPath + " could not be read.");
    return bytes;
}

}  // namespace

std::string_view frameMimeType(std::string_view path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return "image/jpeg";
    return asciiLowercased(path.substr(dot + 1)) == "png" ? "image/png" : "image/jpeg";
}

std::string candidateFramesRefusal(CandidateFramesOutcome outcome, const Uuid& candidateID) {
    if (outcome == CandidateFramesOutcome::tooLarge)
        return "Evidence candidate " + candidateID.toString() + " exceeds the 16 MB image safety limit.";
    return "An evidence frame path was not bundle-relative.";
}

CandidateFramesOutcome forEachCandidateFrame(
    const EvidenceBundleDocument::Candidate& candidate, const std::filesystem::path& bundleDirectory,
    const std::function<void(const std::string& path, std::string_view mimeType, std::string_view bytes)>& use) {
    std::vector<std::filesystem::path> files;
    for (const auto& frame : candidate.frames) {
        if (!isBundleRelative(frame.path)) return CandidateFramesOutcome::notBundleRelative;
        // The one confinement rule of the system; it also refuses links that lead outside.
        const auto file = resolveUnderBase(bundleDirectory, percentEncodedPath(frame.path));
        if (!file) return CandidateFramesOutcome::notBundleRelative;
        files.push_back(*file);
    }
    size_t total = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string bytes = readAtMost(files[i], kCandidateFrameByteLimit - total, candidate.frames[i].path);
        total += bytes.size();
        if (total > kCandidateFrameByteLimit) return CandidateFramesOutcome::tooLarge;
        use(candidate.frames[i].path, frameMimeType(candidate.frames[i].path), bytes);
    }
    return CandidateFramesOutcome::read;
}

}  // namespace quillmer
