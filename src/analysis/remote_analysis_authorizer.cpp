#include "analysis/remote_analysis_authorizer.h"

namespace quillmer {

std::optional<RemoteAnalysisPasses> parseRemoteAnalysisPasses(const Json& names) {
    if (!names.is_array() || names.empty()) return std::nullopt;
    RemoteAnalysisPasses passes;
    for (const auto& name : names) {
        if (name == "evidence") passes.insert(RemoteAnalysisPass::evidence);
        else if (name == "summary") passes.insert(RemoteAnalysisPass::summary);
        else return std::nullopt;
    }
    return passes;
}

void RemoteAnalysisAuthorizer::record(const std::string& sessionID, RemoteAnalysisPasses passes) {
    approvals_[sessionID] = std::move(passes);
}

RemoteAnalysisPasses RemoteAnalysisAuthorizer::approvedPasses(const std::string& sessionID) const {
    const auto found = approvals_.find(sessionID);
    return found == approvals_.end() ? RemoteAnalysisPasses{} : found->second;
}

std::optional<bool> RemoteAnalysisAuthorizer::decision(const std::string& sessionID) const {
    const auto found = approvals_.find(sessionID);
    if (found == approvals_.end()) return std::nullopt;
    return !found->second.empty();
}

}  // namespace quillmer
