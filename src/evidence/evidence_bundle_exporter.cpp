#include "evidence/evidence_bundle_exporter.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "capture/local_session_manifest.h"
#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "core/folders.h"
#include "core/safe_path.h"
#include "core/sha256.h"
#include "evidence/evidence_export_error.h"
#include "evidence/evidence_markdown.h"
#include "evidence/visual_evidence_candidate.h"
#include "platform/application_paths.h"

namespace quillmer {

namespace {

namespace fs = std::filesystem;
using Artifact = EvidenceBundleDocument::Artifact;

constexpr const char* kEvidenceDocumentFileName = "evidence.json";
constexpr const char* kEvidenceMarkdownFileName = "evidence.md";

[[noreturn]] void throwErrno(const std::string& action, const fs::path& path, int error) {
    throw FileSystemError(action + " " + path.string() + ": " + std::strerror(error),
                          std::error_code(error, std::generic_category()));
}

// Copies `source` to `destination` (an existing destination is an error) and describes the copy.
Artifact copyAndDigest(const fs::path& source, const fs::path& destination, std::string recordedPath) {
    std::error_code error;
    fs::copy_file(source, destination, fs::copy_options::none, error);
    if (error)
        throw FileSystemError("Could not copy " + source.string() + " to " + destination.string() + ": " + error.message(),
                              error);
    Artifact artifact;
    artifact.path = std::move(recordedPath);
    artifact.sha256 = sha256HexOfFile(destination);
    const auto size = fs::file_size(destination, error);
    if (error) throw FileSystemError("Could not read " + destination.string() + ": " + error.message(), error);
    artifact.byteCount = static_cast<int64_t>(size);
    return artifact;
}

// Moves the finished folder into place without ever replacing something that appeared there.
void moveIntoPlace(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
    const int error = errno;
    if (error == EEXIST || error == ENOTEMPTY) throw EvidenceExportError::destinationExists(to);
    if (error != EINVAL && error != ENOSYS) throwErrno("Could not move the export to", to, error);
    // A file system without no-replace renames: check, then rename.
    std::error_code ignored;
    if (fs::exists(fs::symlink_status(to, ignored))) throw EvidenceExportError::destinationExists(to);
    if (::rename(from.c_str(), to.c_str()) != 0) throwErrno("Could not move the export to", to, errno);
}

EvidenceBundleDocument::Session sessionFacts(const LocalSessionManifest& manifest, Artifact transcript) {
    EvidenceBundleDocument::Session session;
    session.id = manifest.id;
    session.capturedAt = manifest.createdAt;
    session.endedAt = manifest.endedAt;
    session.displaySize = {manifest.width, manifest.height};
    if (manifest.firstVideoPTSSeconds && manifest.lastVideoPTSSeconds)
        session.videoRangeSeconds = EvidenceBundleDocument::ClosedRangeValue{*manifest.firstVideoPTSSeconds,
                                                                             *manifest.lastVideoPTSSeconds};
    session.transcript = std::move(transcript);
    session.repository = manifest.repository;
    return session;
}

EvidenceBundleDocument assemble(const fs::path& sessionFolder, const LocalSessionManifest& manifest,
                                const VisualEvidenceCandidateBundle& bundle, const fs::path& workFolder,
                                std::stop_token stop) {
    const fs::path frames = workFolder / kFramesFolderName;
    createFolders(frames);

    EvidenceBundleDocument document;
    const Artifact transcript = copyArtifact(*manifest.transcriptFile, sessionFolder, workFolder);
    for (const auto& stored : bundle.candidates) {
        if (stop.stop_requested()) throw CancellationError();
        EvidenceBundleDocument::Candidate candidate;
        candidate.id = stored.id;
        candidate.rangeStartSeconds = stored.rangeStartSeconds;
        candidate.rangeEndSeconds = stored.rangeEndSeconds;
        candidate.trigger = stored.trigger;
        candidate.transcriptContext = stored.transcriptContext;
        for (const auto& path : stored.frameFiles) candidate.frames.push_back(copyFrame(path, sessionFolder, frames));
        candidate.visualAnchor = stored.visualAnchor;
        document.candidates.push_back(std::move(candidate));
    }
    document.schemaVersion = 1;
    // Whole seconds, as the file keeps it, so the document returned is the document stored.
    document.exportedAt = std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
    document.session = sessionFacts(manifest, transcript);

    writeFileAtomically(workFolder / kEvidenceDocumentFileName, encodeJSON(document.toJSON()));
    writeFileAtomically(workFolder / kEvidenceMarkdownFileName, markdown(document));
    return document;
}

}  // namespace

EvidenceBundleExporter::EvidenceBundleExporter(std::optional<fs::path> exportRoot) {
    if (!exportRoot) {
        exportRoot_ = exportsDirectory();
        return;
    }
    exportRoot_ = *exportRoot;
    createFolders(exportRoot_);
}

EvidenceExportResult EvidenceBundleExporter::exportSession(const fs::path& sessionFolder, std::stop_token stop) const {
    const LocalSessionManifest manifest = readManifest(sessionFolder);
    if (!manifest.candidateFile) throw EvidenceExportError::missingCandidates();
    if (!manifest.transcriptFile) throw EvidenceExportError::missingTranscript();
    const auto candidateFile = resolveInside(sessionFolder, *manifest.candidateFile);
    if (!candidateFile) throw EvidenceExportError::missingArtifact(*manifest.candidateFile);
    const VisualEvidenceCandidateBundle bundle = readCandidateBundle(*candidateFile);

    const std::string name = manifest.id.toString();
    const fs::path finalFolder = exportRoot_ / name;
    std::error_code ignored;
    if (fs::exists(fs::symlink_status(finalFolder, ignored))) throw EvidenceExportError::destinationExists(finalFolder);

    // Not with intermediate folders, and never reused: a leftover from an interrupted export
    // makes this fail rather than mix two exports.
    const fs::path workFolder = exportRoot_ / ("." + name + ".exporting");
    if (::mkdir(workFolder.c_str(), 0777) != 0) throwErrno("Could not create the folder", workFolder, errno);
    try {
        EvidenceExportResult result;
        result.document = assemble(sessionFolder, manifest, bundle, workFolder, stop);
        moveIntoPlace(workFolder, finalFolder);
        result.directory = finalFolder;
        return result;
    } catch (...) {
        fs::remove_all(workFolder, ignored);
        throw;
    }
}

Artifact copyArtifact(const std::string& fileName, const fs::path& sessionFolder, const fs::path& destination) {
    const auto source = resolveInside(sessionFolder, fileName);
    std::error_code ignored;
    if (!source || !fs::exists(*source, ignored)) throw EvidenceExportError::missingArtifact(fileName);
    const std::string last = source->filename().string();
    return copyAndDigest(*source, destination / last, last);
}

EvidenceBundleDocument::Frame copyFrame(const std::string& framePath, const fs::path& sessionFolder,
                                        const fs::path& framesDestination) {
    const auto source = resolveInside(sessionFolder, framePath);
    std::error_code ignored;
    if (!source || !fs::exists(*source, ignored)) throw EvidenceExportError::missingFrame(framePath);
    const std::string last = source->filename().string();
    return copyAndDigest(*source, framesDestination / last, std::string(kFramesFolderName) + "/" + last);
}

}  // namespace quillmer
