#pragma once

#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>

#include "evidence/evidence_bundle_document.h"

namespace quillmer {

struct EvidenceExportResult {
    std::filesystem::path directory;  // the finished export folder
    EvidenceBundleDocument document;  // what "evidence.json" holds
};

// Copies a session's transcript and candidate frames into a self-contained export folder named by
// the session's UUID. The folder is assembled hidden and moved into place in one step, so it is
// either complete or absent.
class EvidenceBundleExporter {
public:
    // `exportRoot` or else the Exports folder of the application data directory; created with
    // intermediate folders. Throws FileSystemError.
    explicit EvidenceBundleExporter(std::optional<std::filesystem::path> exportRoot = std::nullopt);

    const std::filesystem::path& exportRoot() const { return exportRoot_; }

    // Throws EvidenceExportError, FileSystemError, DecodingError, EncodingError, or
    // CancellationError when `stop` is requested before a candidate's frames are copied; the hidden
    // working folder never outlives a failure it created.
    EvidenceExportResult exportSession(const std::filesystem::path& sessionFolder, std::stop_token stop = {}) const;

private:
    std::filesystem::path exportRoot_;
};

// Copies session folder / `fileName` into `destination`, keeping its last path component.
// Throws EvidenceExportError::missingArtifact when there is no such file inside the session folder.
EvidenceBundleDocument::Artifact copyArtifact(const std::string& fileName, const std::filesystem::path& sessionFolder,
                                              const std::filesystem::path& destination);

// The same for a candidate's frame path ("frames/…"); the result's path is "frames/" + file name.
// Throws EvidenceExportError::missingFrame.
EvidenceBundleDocument::Frame copyFrame(const std::string& framePath, const std::filesystem::path& sessionFolder,
                                        const std::filesystem::path& framesDestination);

}  // namespace quillmer
