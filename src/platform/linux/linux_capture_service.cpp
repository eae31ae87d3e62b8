#include "platform/linux/linux_capture_service.h"

#include <algorithm>

#include "core/error.h"
#include "platform/linux/pulse_audio_devices.h"
#include "platform/linux/pulse_audio_source.h"
#include "platform/linux/x11_monitors.h"
#include "platform/linux/x11_screen_source.h"
#include "platform/sourced_capture_stream.h"

namespace quillmer {

std::vector<DisplayDescription> LinuxCaptureService::shareableDisplays() {
    XcbConnection connection;
    std::vector<DisplayDescription> displays;
    for (const auto& monitor : readX11Monitors(connection)) displays.push_back(monitor.display);
    return displays;
}

std::unique_ptr<CaptureStream> LinuxCaptureService::makeStream(const CaptureStreamConfiguration& configuration,
                                                               CaptureStreamDelegate& delegate) {
    std::vector<std::unique_ptr<CaptureSource>> sources;
    sources.push_back(
        std::make_unique<X11ScreenSource>(configuration.display, configuration.minimumFrameIntervalSeconds));

    if (configuration.capturesAudio) {
        auto connection = std::make_unique<PulseAudioConnection>("Quillmer");
        auto monitor = defaultSinkMonitorSource(*connection);
        if (!monitor) throw Error("PulseAudio has no output device whose sound could be recorded as system audio.");
        sources.push_back(
            std::make_unique<PulseAudioSource>(SampleKind::systemAudio, *monitor, 2, std::move(connection)));
    }
    if (configuration.capturesMicrophone) {
        auto connection = std::make_unique<PulseAudioConnection>("Quillmer");
        if (auto microphone = defaultMicrophoneSource(*connection)) {
            sources.push_back(
                std::make_unique<PulseAudioSource>(SampleKind::microphone, *microphone, 1, std::move(connection)));
        }
    }

    CaptureSampleQueueLimits limits;
    limits.screen = static_cast<size_t>(std::max(1, configuration.queueDepth));
    return std::make_unique<SourcedCaptureStream>(delegate, limits, std::move(sources));
}

}  // namespace quillmer
