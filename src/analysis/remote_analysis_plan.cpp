#include "analysis/remote_analysis_plan.h"

#include <algorithm>

#include "analysis/character_count.h"
#include "analysis/transcript_rules_evidence_provider.h"
#include "capture/session_folder.h"
#include "capture/session_progress_files.h"
#include "core/ascii_case.h"
#include "core/atomic_file.h"
#include "core/safe_path.h"

namespace quillmer {

namespace {

constexpr const char* kRailwayApplicationDomain = "up.railway.app";

// The host name of a URL, or nothing when it has none.
std::optional<std::string> hostOf(const std::string& url) {
    const auto scheme = url.find("://");
    if (scheme == std::string::npos) return std::nullopt;
    std::string authority = url.substr(scheme + 3, url.find_first_of("/?#", scheme + 3) - (scheme + 3));
    if (const auto at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
    std::string host;
    if (authority.starts_with('[')) host = authority.substr(1, authority.find(']') - 1);
    else host = authority.substr(0, authority.find(':'));
    if (host.empty()) return std::nullopt;
    return asciiLowercased(host);
}

bool isRailwayHost(const std::string& host) {
    const std::string domain = kRailwayApplicationDomain;
    return host == domain || host.ends_with("." + domain);
}

std::optional<Json> readJSON(const std::filesystem::path& file) {
    try {
        return parseJSON(readWholeFile(file));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

const Json* arrayAt(const Json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    const auto it = object.find(key);
    return it != object.end() && it->is_array() ? &*it : nullptr;
}

std::string textAt(const Json& object, const char* key) {
    if (!object.is_object()) return {};
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::optional<RemoteAnalysisPassPlan> evidencePass(const std::filesystem::path& exportFolder) {
    const auto evidence = readJSON(exportFolder / kEvidenceFileName);
    const Json* candidates = evidence ? arrayAt(*evidence, "candidates") : nullptr;
    if (!candidates) return std::nullopt;
    RemoteAnalysisPassPlan plan;
    for (const auto& candidate : *candidates) {
        if (plan.candidateCount == kAnalysedCandidateLimit) break;
        ++plan.candidateCount;
        plan.transcriptCharacterCount +=
            static_cast<int64_t>(countUserPerceivedCharacters(textAt(candidate, "transcriptContext")));
        const Json* frames = arrayAt(candidate, "frames");
        if (!frames) continue;
        for (const auto& frame : *frames) {
            ++plan.frameCount;
            std::error_code error;
            if (const auto file = resolveUnderBase(exportFolder, textAt(frame, "path")))
                if (const auto size = std::filesystem::file_size(*file, error); !error)
                    plan.frameByteCount += static_cast<int64_t>(size);
        }
    }
    plan.transcriptSegmentCount = plan.candidateCount;
    return plan;
}

std::optional<RemoteAnalysisPassPlan> summaryPass(const std::filesystem::path& sessionFolder) {
    const auto transcript = readJSON(sessionFolder / kTranscriptFileName);
    const Json* segments = transcript ? arrayAt(*transcript, "segments") : nullptr;
    if (!segments) return std::nullopt;
    RemoteAnalysisPassPlan plan;
    plan.pass = RemoteAnalysisPass::summary;
    plan.sendsFullTranscript = true;
    for (const auto& segment : *segments) {
        ++plan.transcriptSegmentCount;
        plan.transcriptCharacterCount += static_cast<int64_t>(countUserPerceivedCharacters(textAt(segment, "text")));
    }
    return plan;
}

}  // namespace

std::string remoteAnalysisPassName(RemoteAnalysisPass pass) {
    return pass == RemoteAnalysisPass::evidence ? "evidence" : "summary";
}

RemoteAnalysisRecipient analysisRecipient(const AnalysisRouteChoice& route) {
    using Kind = AnalysisRouteChoice::Kind;
    using Unavailable = AnalysisRouteChoice::Unavailable;
    if (route.kind == Kind::onThisComputer) {
        if (!route.localModelName) return {kThisComputerRecipient, "rule-based, no model", kTranscriptRulesModelName};
        return {kThisComputerRecipient, *route.localModelName + " at " + route.localModelHost, *route.localModelName};
    }
    if (route.kind == Kind::localDevelopmentKey ||
        (route.kind == Kind::unavailable && route.reason == Unavailable::localDevelopmentKeyMissing))
        return {"Google (Gemini API)", route.geminiHost, kGeminiAnalysisModel};
    if (!route.relayEndpoint) return {"Quillmer hosted analysis", "no relay is configured in this build", kGeminiAnalysisModel};
    const auto host = hostOf(*route.relayEndpoint);
    const bool railway = host && isRailwayHost(*host);
    return {"Quillmer hosted analysis, which calls Google Gemini",
            host.value_or(*route.relayEndpoint) + " (" +
                (railway ? "Quillmer's relay, hosted on Railway" : "Quillmer's relay") + ")",
            kGeminiAnalysisModel};
}

RemoteAnalysisPlan planRemoteAnalysis(const std::string& sessionID,
                                      const std::optional<std::filesystem::path>& sessionFolder,
                                      const std::optional<std::filesystem::path>& exportFolder,
                                      const AnalysisRouteChoice& route) {
    RemoteAnalysisPlan plan;
    plan.sessionID = sessionID;
    plan.recipient = analysisRecipient(route);
    plan.staysOnThisComputer = route.staysOnThisComputer();
    plan.note = route.localModelProblem;
    if (exportFolder)
        if (auto pass = evidencePass(*exportFolder)) plan.passes.push_back(*pass);
    // The transcript rules have no summary pass of their own: the rule-based summary is written anyway.
    const bool summaryModel = !route.staysOnThisComputer() || route.localModelName;
    if (sessionFolder && summaryModel)
        if (auto pass = summaryPass(*sessionFolder)) plan.passes.push_back(*pass);

    const auto block = [&](const char* reason, std::string detail) {
        plan.blockedReason = reason;
        plan.blockedDetail = std::move(detail);
        return plan;
    };
    using Unavailable = AnalysisRouteChoice::Unavailable;
    if (route.kind == AnalysisRouteChoice::Kind::unavailable) {
        switch (route.reason) {
            case Unavailable::notConnected:
                return block("not-connected", "Quillmer is not connected to " + plan.recipient.providerName +
                                                  " yet, so nothing can be sent from here. Connect your Zoom "
                                                  "account to turn analysis on.");
            case Unavailable::relayNotConfigured:
                return block("provider-unconfigured",
                             "This build has no Quillmer relay configured, so there is nowhere for it to send "
                             "anything. Nothing leaves this computer.");
            case Unavailable::localDevelopmentKeyMissing:
                return block("provider-unconfigured",
                             "This build is set to use a local Gemini key and no key is installed, so nothing can "
                             "be sent from here.");
        }
    }
    if (plan.passes.empty())
        return block("no-export",
                     "This meeting has no exported evidence or transcript yet, so there is nothing Quillmer could send.");
    plan.canSend = true;
    return plan;
}

Json RemoteAnalysisPlan::toBridgeJSON() const {
    Json passList = Json::array();
    for (const auto& pass : passes)
        passList.push_back({{"pass", remoteAnalysisPassName(pass.pass)},
                            {"candidateCount", pass.candidateCount},
                            {"frameCount", pass.frameCount},
                            {"frameByteCount", pass.frameByteCount},
                            {"transcriptSegmentCount", pass.transcriptSegmentCount},
                            {"transcriptCharacterCount", pass.transcriptCharacterCount},
                            {"sendsFullTranscript", pass.sendsFullTranscript}});
    Json json = {{"sessionID", sessionID},
                 {"providerName", recipient.providerName},
                 {"providerHost", recipient.providerHost},
                 {"model", recipient.model},
                 {"passes", std::move(passList)},
                 {"canSend", canSend},
                 {"onThisComputer", staysOnThisComputer},
                 // The rule-based summary is written on this computer whatever the route.
                 {"localFallbackAvailable", true}};
    putJSON(json, "note", note);
    putJSON(json, "blockedReason", blockedReason);
    putJSON(json, "blockedDetail", blockedDetail);
    return json;
}

}  // namespace quillmer
