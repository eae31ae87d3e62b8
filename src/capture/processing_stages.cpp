#include "capture/processing_stages.h"

#include "core/error.h"

namespace quillmer {

ProcessingStages availableProcessingStages() {
    ProcessingStages stages;
    stages.transcribe = [](const auto&, const auto&, std::stop_token) -> int { throw NotAvailableError(); };
    stages.extractEvidence = [](const auto&, std::stop_token) -> int { throw NotAvailableError(); };
    stages.exportEvidence = [](const auto&, std::stop_token) -> std::filesystem::path { throw NotAvailableError(); };
    stages.analyze = [](const auto&, const auto&, std::stop_token) -> AnalysisOutcome { throw NotAvailableError(); };
    stages.retryAnalysis = [](const auto&, const auto&, std::stop_token) -> AnalysisOutcome {
        throw NotAvailableError();
    };
    stages.importRecording = [](const auto&, std::stop_token) -> std::filesystem::path { throw NotAvailableError(); };
    stages.importTranscript = [](const auto&, const auto&, std::stop_token) -> int { throw NotAvailableError(); };
    return stages;
}

}  // namespace quillmer
