#pragma once

#include <filesystem>
#include <string>

#include "app/review_renderer_scheme.h"
#include "core/json.h"

namespace quillmer {

// What the review screen renders for one export folder, handed out under `bundleID`. Registers
// the folder (and the session video, when found under `sessionsRoot`) with the scheme so the
// page can load its frames and media. Throws NativeBridgeError(invalidEvidence) when
// "evidence.json" is not a JSON object; every other file is optional and skipped when unreadable.
Json makeBundlePayload(const std::string& bundleID, const std::filesystem::path& exportFolder,
                       ReviewRendererScheme& scheme, const std::filesystem::path& sessionsRoot);

}  // namespace quillmer
