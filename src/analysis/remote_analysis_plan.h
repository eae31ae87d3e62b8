#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/remote_analysis_pass.h"
#include "core/json.h"

namespace quillmer {

// The analysis route as the plan needs to know it. Whoever selects the route maps its choice onto
// this value; the plan never chooses a route itself.
struct AnalysisRouteChoice {
    enum class Kind { hosted, localDevelopmentKey, onThisComputer, unavailable };
    enum class Unavailable { notConnected, relayNotConfigured, localDevelopmentKeyMissing };

    Kind kind = Kind::unavailable;
    Unavailable reason = Unavailable::relayNotConfigured;  // read only when unavailable
    std::optional<std::string> relayEndpoint;               // the build's relay URL, when it has one
    std::string geminiHost = "generativelanguage.googleapis.com";
    // onThisComputer only: the local model's name and where it listens; no name means the transcript rules.
    std::optional<std::string> localModelName;
    std::string localModelHost;
    // Why a configured local model is not used (its settings were refused), shown beside the plan.
    std::optional<std::string> localModelProblem;

    bool staysOnThisComputer() const { return kind == Kind::onThisComputer; }
};

struct RemoteAnalysisPassPlan {
    RemoteAnalysisPass pass = RemoteAnalysisPass::evidence;
    int64_t candidateCount = 0;
    int64_t frameCount = 0;
    int64_t frameByteCount = 0;
    int64_t transcriptSegmentCount = 0;
    int64_t transcriptCharacterCount = 0;
    bool sendsFullTranscript = false;
};

struct RemoteAnalysisRecipient {
    std::string providerName;
    std::string providerHost;
    std::string model;
};

// What analysis of one meeting would send, to whom, and whether it can be sent at all.
struct RemoteAnalysisPlan {
    std::string sessionID;
    RemoteAnalysisRecipient recipient;
    std::vector<RemoteAnalysisPassPlan> passes;
    bool canSend = false;
    bool staysOnThisComputer = false;  // nothing is sent, so nothing needs approval
    std::optional<std::string> note;   // e.g. why a configured local model is not used
    std::optional<std::string> blockedReason;  // "no-export", "not-connected", "provider-unconfigured"
    std::optional<std::string> blockedDetail;

    // The record the review page reads.
    Json toBridgeJSON() const;
};

// The model both remote routes analyse with.
inline constexpr const char* kGeminiAnalysisModel = "gemini-3.6-flash";
// The recipient of the route that never leaves the computer.
inline constexpr const char* kThisComputerRecipient = "This computer";

// The evidence pass discloses, and the analysis stage sends, only this many candidates.
inline constexpr int kAnalysedCandidateLimit = 16;

RemoteAnalysisRecipient analysisRecipient(const AnalysisRouteChoice& route);

// Counts what each pass would send from the export folder (evidence.json) and the session folder
// (transcript.json); either may be absent. Reads plain JSON and never throws for what it reads.
RemoteAnalysisPlan planRemoteAnalysis(const std::string& sessionID,
                                      const std::optional<std::filesystem::path>& sessionFolder,
                                      const std::optional<std::filesystem::path>& exportFolder,
                                      const AnalysisRouteChoice& route);

std::string remoteAnalysisPassName(RemoteAnalysisPass pass);

}  // namespace quillmer
