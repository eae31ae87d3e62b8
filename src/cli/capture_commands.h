#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "cli/command.h"
#include "platform/capture_service.h"
#include "platform/media_writer.h"
#include "platform/user_defaults.h"

namespace quillmer::cli {

struct RecordOptions {
    uint32_t displayID = 0;
    std::optional<double> durationSeconds;  // none: until interrupted
    bool everyoneKnows = false;             // the operator affirms everyone on the call was told
};

// "--display ID [--duration SECONDS] [--everyone-knows]". Throws quillmer::Error with a message
// for the user.
RecordOptions parseRecordOptions(std::span<const std::string> arguments);

// Refuses to start (usage exit code, nothing created) without the operator's affirmation, given
// by --everyone-knows or by standing consent in `defaults`; shows the disclosure the first time.
// Then records until the duration ends, SIGINT or SIGTERM, or a capture failure, and prints the
// session folder on stdout; "consent.json" is written with the recording. Returns the exit code.
int record(CaptureService& capture, MediaWriterFactory& writers, UserDefaults& defaults, const RecordOptions& options);

Command displaysCommand();
Command recordCommand();

}  // namespace quillmer::cli
