// Cost of screen capture: frames grabbed from the X server for a few seconds at the 30 fps cap,
// with a delegate that does nothing, reporting the rate reached and the CPU it took.
//
//   xvfb-run -s "-screen 0 1920x1080x24" build/bench/capture_sources_bench [seconds]
//
// Audio is included when a PulseAudio server answers.
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <thread>

#include "platform/capture_clock.h"
#include "platform/linux/linux_capture_service.h"

namespace {

using namespace quillmer;

class CountingDelegate : public CaptureStreamDelegate {
public:
    void streamDidOutputSample(const CaptureSample& sample) override {
        if (sample.kind == SampleKind::screen) ++frames;
        else ++audioBuffers;
    }
    void streamDidStopWithError(const std::string& description) override {
        std::fprintf(stderr, "stream stopped: %s\n", description.c_str());
    }
    std::atomic<int> frames{0};
    std::atomic<int> audioBuffers{0};
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::unique_ptr<CaptureStream> makeStream(LinuxCaptureService& service, CaptureStreamConfiguration configuration,
                                          CountingDelegate& delegate) {
    try {
        return service.makeStream(configuration, delegate);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "without audio (%s)\n", error.what());
        configuration.capturesAudio = false;
        configuration.capturesMicrophone = false;
        return service.makeStream(configuration, delegate);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    try {
        LinuxCaptureService service;
        CaptureStreamConfiguration configuration;
        configuration.display = service.shareableDisplays().at(0);
        CountingDelegate delegate;
        auto stream = makeStream(service, configuration, delegate);

        const double cpuBefore = cpuSeconds();
        const double start = captureClockSeconds();
        stream->start();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        stream->stop();
        const double elapsed = captureClockSeconds() - start;
        const double cpu = cpuSeconds() - cpuBefore;

        std::printf("display %u, %d x %d, %.1f s\n", configuration.display.displayID, configuration.display.width,
                    configuration.display.height, elapsed);
        std::printf("frames: %d (%.1f per second)\n", delegate.frames.load(), delegate.frames / elapsed);
        std::printf("audio buffers: %d\n", delegate.audioBuffers.load());
        std::printf("CPU: %.2f s (%.0f %% of one core)\n", cpu, 100.0 * cpu / elapsed);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "capture_sources_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
