#pragma once

#include <filesystem>
#include <string>

#include "core/error.h"

namespace quillmer {

enum class EvidenceExportErrorCase { missingFrame, missingArtifact, destinationExists, missingCandidates, missingTranscript };

class EvidenceExportError : public FamilyError<EvidenceExportErrorCase> {
public:
    static EvidenceExportError missingFrame(const std::string& path) {
        return {EvidenceExportErrorCase::missingFrame, "The evidence frame is missing: " + path + "."};
    }
    static EvidenceExportError missingArtifact(const std::string& name) {
        return {EvidenceExportErrorCase::missingArtifact, "The required session artifact is missing: " + name + "."};
    }
    static EvidenceExportError destinationExists(const std::filesystem::path& folder) {
        return {EvidenceExportErrorCase::destinationExists, "An export already exists at " + folder.string() + "."};
    }
    static EvidenceExportError missingCandidates() {
        return {EvidenceExportErrorCase::missingCandidates, "Find visual evidence before exporting a brief."};
    }
    static EvidenceExportError missingTranscript() {
        return {EvidenceExportErrorCase::missingTranscript, "Transcribe this session before exporting a brief."};
    }

private:
    EvidenceExportError(EvidenceExportErrorCase kind, const std::string& text) : FamilyError(kind, text) {}
};

}  // namespace quillmer
