#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "evidence/evidence_bundle_document.h"

namespace quillmer {

// The most frame bytes one candidate may send, all its frames together.
inline constexpr size_t kCandidateFrameByteLimit = 16'777'216;

enum class CandidateFramesOutcome { read, notBundleRelative, tooLarge };

// Why the frames of a candidate were not sent, in the user's words (for an outcome other than `read`).
std::string candidateFramesRefusal(CandidateFramesOutcome outcome, const Uuid& candidateID);

// "image/png" for .png, "image/jpeg" for anything else (extension compared lower-cased).
std::string_view frameMimeType(std::string_view path);

// Hands each frame of the candidate, in bundle order, to `use` (bundle-relative path, MIME type,
// bytes). Every path is checked before any file is read: it must be non-empty, relative, free of
// ".." components and stay inside the bundle (symbolic links included). Stops as soon as the
// running total passes the limit. Throws FileSystemError when a frame cannot be read.
CandidateFramesOutcome forEachCandidateFrame(
    const EvidenceBundleDocument::Candidate& candidate, const std::filesystem::path& bundleDirectory,
    const std::function<void(const std::string& path, std::string_view mimeType, std::string_view bytes)>& use);

}  // namespace quillmer
