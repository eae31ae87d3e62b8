#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "cli/command.h"
#include "platform/capture_service.h"
#include "platform/media_writer.h"

namespace quillmer::cli {

struct RecordOptions {
    uint32_t displayID = 0;
    std::optional<double> durationSeconds;  // none: until interrupted
};

// "--display ID [--duration SECONDS]". Throws quillmer::Error with a message for the user.
RecordOptions parseRecordOptions(std::span<const std::string> arguments);

// Records until the duration ends, SIGINT or SIGTERM, or a capture failure; prints the session
// folder on stdout. Returns the exit code.
int record(CaptureService& capture, MediaWriterFactory& writers, const RecordOptions& options);

Command displaysCommand();
Command recordCommand();

}  // namespace quillmer::cli
