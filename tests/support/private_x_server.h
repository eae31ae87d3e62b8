#pragma once

#include <memory>
#include <optional>
#include <string>

#include "support/background_process.h"
#include "support/temporary_folder.h"

namespace quillmer::testing {

// A private Xvfb on a free display number, with $DISPLAY pointing at it while the object lives.
class PrivateXServer {
public:
    // Why the server cannot be started here (Xvfb is not installed), or nothing.
    static std::optional<std::string> unavailableReason();

    // Waits until the server accepts connections; throws std::runtime_error if it never does.
    PrivateXServer(int width = 1280, int height = 720);
    ~PrivateXServer();

    const std::string& displayName() const { return displayName_; }
    // Ends the server abruptly, as when the X session goes away during a capture.
    void kill();

private:
    void removeLeftovers();

    TemporaryFolder folder_;
    std::unique_ptr<BackgroundProcess> process_;
    std::string displayName_;
    std::unique_ptr<ScopedEnvironment> display_;
};

}  // namespace quillmer::testing
