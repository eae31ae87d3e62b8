#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>

#include "engine/capture_engine.h"
#include "core/loop_main_queue.h"
#include "support/fake_capture_service.h"
#include "support/fake_media_writers.h"
#include "support/fake_process_runner.h"
#include "support/recording_trash.h"
#include "support/temporary_folder.h"

namespace quillmer::testing {

// Work that blocks until the test opens it or the stage is cancelled.
class Gate {
public:
    // Returns false when the stop token fired first.
    bool wait(std::stop_token stop) {
        std::unique_lock lock(mutex_);
        changed_.notify_all();
        return changed_.wait(lock, stop, [this] { return open_; });
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
    bool open_ = false;
};

// An engine on fakes, with the test thread as its main thread.
class EngineTest : public ::testing::Test {
protected:
    EngineTest() { capture.displays = {{7, 1920, 1080}, {9, 2560, 1440}}; }

    CaptureEngine& engine() {
        if (!engine_) {
            engine_ = std::make_unique<CaptureEngine>(CaptureEngineDependencies{
                capture, writers, processes, trash, queue, [this] { return root / "Sessions"; },
                [this] { return root / "Exports"; }, stages, [this] { return analysis; }, cloudRelay, nullptr,
                periodicCloudSync});
        }
        return *engine_;
    }
    const CaptureEngineState& state() { return engine().state(); }
    void destroyEngine() { engine_.reset(); }

    CapturableDisplay firstDisplay() {
        engine().refreshDisplays();
        return state().displays.at(0);
    }

    // Runs the main loop until the operation calls its completion.
    template <typename Operation>
    void await(Operation operation) {
        bool finished = false;
        operation([&] { finished = true; });
        queue.runUntil([&] { return finished; });
    }

    // A finished capture with a few samples, so the engine has a current session.
    std::filesystem::path recordShortSession() {
        engine().startCapture(firstDisplay());
        auto& stream = capture.lastStream();
        stream.deliver(screenSample(10.0));
        stream.deliver(audioSample(SampleKind::systemAudio, 10.01));
        stream.deliver(screenSample(10.5));
        await([&](auto done) { engine().stopCapture(done); });
        return state().lastSessionDirectory.value();
    }

    TemporaryFolder root;
    FakeCaptureService capture;
    FakeMediaWriterFactory writers;
    UnlaunchableProcessRunner processes;
    RecordingTrash trash;
    LoopMainQueue queue;
    ProcessingStages stages = unavailableProcessingStages();
    AnalysisConnection analysis = noAnalysisConnection();  // no route: nothing can be sent
    // No relay and no periodic sync unless a test asks for them.
    std::function<std::optional<CloudRelayAccess>()> cloudRelay = [] { return std::optional<CloudRelayAccess>(); };
    bool periodicCloudSync = false;

private:
    std::unique_ptr<CaptureEngine> engine_;
};

}  // namespace quillmer::testing
