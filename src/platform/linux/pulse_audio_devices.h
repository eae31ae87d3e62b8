#pragma once

#include <optional>
#include <string>

#include "platform/linux/pulse_audio_connection.h"

namespace quillmer {

// The monitor source of the default sink: what the computer is playing. None without a default sink.
std::optional<std::string> defaultSinkMonitorSource(const PulseAudioConnection& connection);

// The default source when it is a real input. None when there is no default source, or when the
// default source is itself a sink's monitor (no microphone: it would only repeat system audio).
std::optional<std::string> defaultMicrophoneSource(const PulseAudioConnection& connection);

}  // namespace quillmer
