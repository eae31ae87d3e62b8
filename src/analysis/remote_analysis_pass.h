#pragma once

#include <set>

namespace quillmer {

// A pass that sends meeting data off this computer once the user approved it for the meeting.
enum class RemoteAnalysisPass { evidence, summary };

using RemoteAnalysisPasses = std::set<RemoteAnalysisPass>;

}  // namespace quillmer
