#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/background_process.h"
#include "support/temporary_folder.h"

namespace quillmer::testing {

// A user-less PulseAudio with one 48 kHz stereo null sink as its default output, reachable
// through $PULSE_SERVER while the object lives. It has no microphone until one is added.
class PrivateSoundServer {
public:
    static constexpr const char* kSinkName = "quillmer_test_output";
    static constexpr const char* kMicrophoneName = "quillmer_test_microphone";

    // Why the server cannot be started here (pulseaudio or pactl missing), or nothing.
    static std::optional<std::string> unavailableReason();

    // Waits until the server answers; throws std::runtime_error if it never does.
    PrivateSoundServer();
    ~PrivateSoundServer();

    const std::string& serverAddress() const { return serverAddress_; }

    // A fake microphone (a remap of the null sink's monitor, so it hears what is played), made
    // the default source.
    void addMicrophone();
    // Plays interleaved stereo float samples at 48 kHz into the null sink; blocks while playing.
    void play(const std::vector<float>& stereoSamples);
    // Ends the server abruptly.
    void kill();

private:
    std::string pactl(const std::vector<std::string>& arguments);

    TemporaryFolder folder_;
    std::unique_ptr<ScopedEnvironment> server_;
    std::unique_ptr<ScopedEnvironment> cookie_;
    std::unique_ptr<BackgroundProcess> process_;
    std::string serverAddress_;
};

// `seconds` of a stereo sine tone at 48 kHz, amplitude 0.5.
std::vector<float> stereoTone(double hz, double seconds);

}  // namespace quillmer::testing
