#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/grounded_feedback.h"
#include "analysis/hosted_analysis_client.h"
#include "transcription/local_transcript.h"

namespace quillmer {

inline constexpr const char* kMeetingSummaryJSONFileName = "meeting-summary.json";
inline constexpr const char* kMeetingSummaryMarkdownFileName = "meeting-summary.md";
inline constexpr const char* kSummaryDiagnosticsFileName = "summary-diagnostics.txt";
inline constexpr const char* kRuleBasedSummaryProvider = "local-fallback";
inline constexpr const char* kRuleBasedSummaryModel = "transcript-rules-v1";

// "meeting-summary.json": a model's summary, or the rule-based one when no model could be asked.
struct MeetingSummaryDocument {
    int64_t schemaVersion = 1;
    Timestamp createdAt;
    std::string provider;
    std::string model;
    std::string overview;
    std::vector<HostedMeetingSummary::Topic> topics;
    std::vector<std::string> decisions;
    std::vector<std::string> actionItems;
    std::vector<std::string> unresolvedQuestions;
    std::string markdown;  // the same text as meeting-summary.md

    bool operator==(const MeetingSummaryDocument&) const = default;
    static MeetingSummaryDocument fromJSON(const Json& json);
    Json toJSON() const;
};

// The document for a summary's content, its Markdown rendered from it.
MeetingSummaryDocument meetingSummaryDocument(const HostedMeetingSummary& summary, std::string provider,
                                              std::string model, Timestamp createdAt);
std::string meetingSummaryMarkdown(const HostedMeetingSummary& summary);

// What a model is given: "[mm:ss.ss] Speaker: text" per segment, and one text per grounded item.
std::string summaryTranscriptLines(const LocalTranscript& transcript);
std::vector<std::string> summaryGroundedActions(const std::vector<GroundedFeedbackItem>& items);

// The deterministic summary written when no model summary can be had ("transcript-rules-v1").
MeetingSummaryDocument ruleBasedSummary(const LocalTranscript& transcript,
                                        const std::vector<GroundedFeedbackItem>& feedback, Timestamp createdAt);

// Writes meeting-summary.json, then meeting-summary.md, each atomically. Throws FileSystemError.
void writeMeetingSummary(const std::filesystem::path& exportFolder, const MeetingSummaryDocument& document);

// Records why the model summary failed (time, then the user-facing reason); removed after a model summary.
void writeSummaryDiagnostics(const std::filesystem::path& exportFolder, Timestamp failedAt, std::string_view reason);
void removeSummaryDiagnostics(const std::filesystem::path& exportFolder);

}  // namespace quillmer
