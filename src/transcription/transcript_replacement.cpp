#include "transcription/transcript_replacement.h"

#include <system_error>

#include "capture/session_folder.h"
#include "core/error.h"
#include "core/uuid.h"
#include "platform/application_paths.h"

namespace quillmer {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void throwRemovalFailure(const fs::path& item, const std::error_code& error) {
    throw FileSystemError("Quillmer could not remove the outdated \"" + item.filename().string() +
                              "\" made from the previous transcript: " + error.message() + ".",
                          error);
}

bool present(const fs::path& item) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(item, ignored));
}

void removeItem(const fs::path& item) {
    std::error_code error;
    fs::remove_all(item, error);  // a symbolic link is removed itself, its target is left alone
    if (error) throwRemovalFailure(item, error);
}

// Renamed out of the way first, so that a crash midway never leaves a half-removed export that
// still looks finished.
void removeExportFolder(const fs::path& folder) {
    if (!present(folder)) return;
    const auto doomed = folder.parent_path() / ("." + folder.filename().string() + ".outdated-" + Uuid::random().toString());
    std::error_code error;
    fs::rename(folder, doomed, error);
    if (error) throwRemovalFailure(folder, error);
    removeItem(doomed);
}

}  // namespace

void discardTranscriptDerivedResults(const fs::path& sessionFolder, LocalSessionManifest& manifest,
                                     const fs::path& exportsRoot) {
    removeExportFolder(exportsRoot / manifest.id.toString());
    for (const char* name : {kCandidateFileName, kFramesFolderName})
        if (present(sessionFolder / name)) removeItem(sessionFolder / name);
    manifest.candidateFile.reset();
}

void replaceTranscript(const fs::path& sessionFolder, LocalSessionManifest manifest, const LocalTranscript& transcript,
                       const std::optional<fs::path>& exportsRoot) {
    discardTranscriptDerivedResults(sessionFolder, manifest, exportsRoot ? *exportsRoot : exportsDirectoryPath());
    storeTranscript(sessionFolder, std::move(manifest), transcript);
}

}  // namespace quillmer
