#pragma once
// The remote-transcription switch as the page and the CLI see it. The choice itself lives in
// RemoteTranscriptionSettings; this says whether it can run and who would receive the audio.

#include <string>

#include "core/iso8601.h"
#include "core/json.h"
#include "transcription/remote_transcription_settings.h"

namespace quillmer {

struct RemoteTranscriptionState {
    bool configured = false;  // some route could run on this computer
    bool enabled = false;     // the approved route can run now
    std::string providerName;
    std::string providerHost;
    std::string model;
    std::string detail;  // what is uploaded, and that the screen recording stays here

    bool operator==(const RemoteTranscriptionState&) const = default;
    Json toJSON() const;
};

RemoteTranscriptionState remoteTranscriptionState(const RemoteTranscriptionSettings& settings,
                                                  const RemoteTranscriptionEnvironment& environment);

// Off removes both stored keys. On approves the first usable route, hosted before the developer
// one; when none is usable nothing is written. Returns the state afterwards.
RemoteTranscriptionState setRemoteTranscription(RemoteTranscriptionSettings& settings,
                                                const RemoteTranscriptionEnvironment& environment, bool on,
                                                Timestamp now);

}  // namespace quillmer
