#pragma once

#include "platform/process_runner.h"

namespace quillmer::testing {

// Launches nothing: every program "cannot be launched", so no repository is recorded.
class UnlaunchableProcessRunner final : public ProcessRunner {
public:
    ProcessResult run(const ProcessRequest&) override {
        ProcessResult result;
        result.launchError = "not launched in tests";
        return result;
    }
};

}  // namespace quillmer::testing
