#pragma once

#include <map>
#include <optional>
#include <string>

#include "analysis/remote_analysis_pass.h"
#include "core/json.h"

namespace quillmer {

// The passes parsed from the page's list of pass names; nothing when the list is empty or holds
// anything but "evidence" and "summary", so a request with one bad name records nothing.
std::optional<RemoteAnalysisPasses> parseRemoteAnalysisPasses(const Json& names);

// Which passes the user approved, per meeting, for this run of the application only.
class RemoteAnalysisAuthorizer {
public:
    // Replaces the meeting's earlier answer; an empty set is a decline.
    void record(const std::string& sessionID, RemoteAnalysisPasses passes);
    // Empty when nothing was recorded. A remote pass may start only when it is in this set.
    RemoteAnalysisPasses approvedPasses(const std::string& sessionID) const;
    // True for an approval, false for a decline, nothing when the meeting was never asked.
    std::optional<bool> decision(const std::string& sessionID) const;

private:
    std::map<std::string, RemoteAnalysisPasses> approvals_;
};

}  // namespace quillmer
