#pragma once

#include "platform/process_runner.h"

namespace quillmer {

// posix_spawn with separate stdout and stderr pipes, drained together with poll so that a
// child filling one pipe never stalls waiting for us to read the other.
class PosixProcessRunner final : public ProcessRunner {
public:
    ProcessResult run(const ProcessRequest& request) override;
};

}  // namespace quillmer
