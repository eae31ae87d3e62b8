#pragma once

#include <filesystem>
#include <optional>

namespace quillmer {

// File names in a session's export folder that tell how far its processing has come.
inline constexpr const char* kEvidenceFileName = "evidence.json";
inline constexpr const char* kFeedbackFileName = "feedback.json";
inline constexpr const char* kAnalysisDiagnosticsFileName = "analysis-diagnostics.json";
inline constexpr const char* kImplementationBriefMarkdownFileName = "implementation-brief.md";

// Each reads one stage's file just far enough to count its entries, decoding the whole record so
// that a file its own stage could not read counts as missing. Nothing when the file is missing,
// unreadable or malformed; they never throw.

// Segments of a transcript ("transcript.json").
std::optional<int> readTranscriptSegmentCount(const std::filesystem::path& file);
// Candidates of an evidence-candidate bundle ("evidence-candidates.json").
std::optional<int> readCandidateCount(const std::filesystem::path& file);
// Items of a grounded feedback report ("feedback.json").
std::optional<int> readFeedbackItemCount(const std::filesystem::path& file);
// Entries of "analysis-diagnostics.json", one per candidate whose analysis failed.
std::optional<int> readAnalysisDiagnosticCount(const std::filesystem::path& file);

}  // namespace quillmer
