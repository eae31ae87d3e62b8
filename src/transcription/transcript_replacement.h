#pragma once

#include <filesystem>
#include <optional>

#include "capture/local_session_manifest.h"
#include "transcription/local_transcript.h"

namespace quillmer {

// Discards everything made from a session's transcript, so that nothing outlives the transcript it
// was made from: "evidence-candidates.json" and "frames/" in the session folder, and the session's
// export folder "<exportsRoot>/<UUID>" (removed, not trashed: everything in it is made again from the
// session folder by the next export). `manifest` forgets its candidate file; the caller writes it.
// Nothing outside the session folder and that one export folder is touched; a symbolic link there
// is removed, never followed. Throws FileSystemError.
void discardTranscriptDerivedResults(const std::filesystem::path& sessionFolder, LocalSessionManifest& manifest,
                                     const std::filesystem::path& exportsRoot);

// The step every producer ends with: discards what the old transcript made, then stores the new one
// (storeTranscript). Results are discarded first, so a failure or crash between the two steps leaves
// the old transcript with nothing derived from it, never the new one beside stale results.
// `exportsRoot` defaults to the user's Exports folder. Throws FileSystemError.
void replaceTranscript(const std::filesystem::path& sessionFolder, LocalSessionManifest manifest,
                       const LocalTranscript& transcript,
                       const std::optional<std::filesystem::path>& exportsRoot = std::nullopt);

}  // namespace quillmer
