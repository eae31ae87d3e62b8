#pragma once

#include <filesystem>
#include <optional>
#include <stop_token>

#include "analysis/meeting_summary.h"
#include "engine/analysis_connection.h"

namespace quillmer {

// Asks the connection's summary model about the export's transcript and feedback and writes the
// summary files. When the route is unavailable or the model fails, writes the rule-based summary
// and summary-diagnostics.txt instead; only file errors (and a stop) are thrown.
MeetingSummaryDocument refreshSummary(const AnalysisConnection& connection, const std::filesystem::path& exportFolder,
                                      std::stop_token stop);

// The summary step before every brief: the model summary when the summary pass was approved (or the
// model is on this computer), the
// rule-based one otherwise (or when the model step throws). Absent when not even that could be written.
std::optional<MeetingSummaryDocument> ensureSummary(const AnalysisConnection& connection,
                                                    const std::filesystem::path& exportFolder,
                                                    const RemoteAnalysisPasses& approved, std::stop_token stop);

// The rule-based summary of an export, written. Throws for an unreadable export or a write error.
MeetingSummaryDocument writeRuleBasedSummary(const std::filesystem::path& exportFolder);

}  // namespace quillmer
