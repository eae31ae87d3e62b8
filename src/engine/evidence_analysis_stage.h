#pragma once

#include <filesystem>
#include <functional>
#include <stop_token>

#include "analysis/evidence_analysis_runner.h"
#include "engine/analysis_connection.h"
#include "engine/processing_stages.h"

namespace quillmer {

enum class EvidenceAnalysisScope {
    firstCandidates,       // the first 16, replacing earlier results
    unfinishedCandidates,  // those listed in analysis-diagnostics.json, merged into the report
};

// The work of the analysis and retry stages. With no route nothing is sent: it fails with the
// plan's explanation. `progress` hears each finished candidate on the calling thread.
AnalysisOutcome analyzeExportedEvidence(
    const AnalysisConnection& connection, const std::filesystem::path& exportFolder, EvidenceAnalysisScope scope,
    std::stop_token stop,
    std::function<void(const CandidateOutcome&, size_t finished, size_t total)> progress = {});

}  // namespace quillmer
