#include "engine/capture_engine.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "capture/session_folder.h"
#include "core/error.h"

namespace quillmer {

namespace {

Timestamp now() { return std::chrono::system_clock::now(); }

std::string formatFrameTimestamp(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3fs", seconds);
    return text;
}

// Every capture ends here, whichever way it ends: the media and manifest are finalised, then the
// affirmation given at its start is recorded beside them. Blocking. Throws when the manifest could
// not be completed (the consent record is written regardless).
void endRecording(LocalSessionRecorder& recorder, const std::optional<RecordingConsentAffirmation>& consent) {
    std::exception_ptr failure;
    try {
        recorder.finish();
    } catch (...) {
        failure = std::current_exception();
    }
    if (consent) {
        try {
            ConsentStore::writeConsentRecord(*consent, recorder.directory(), now());
        } catch (const std::exception&) {
            // The recording matters more than its consent record; it is kept either way.
        }
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace

CaptureEngine::CaptureEngine(CaptureEngineDependencies dependencies) : dependencies_(std::move(dependencies)) {
    state_.cloudConnectAvailable = dependencies_.zoom && configuredRelayOrigin();
    try {
        removeAbandonedSessionFolders(dependencies_.sessionsRoot());
    } catch (const Error&) {
        // No Sessions root: nothing to clean, and the library below reports nothing either.
    }
    refreshRecentSessions();
    if (!state_.recentSessions.empty()) restoreSession(state_.recentSessions.front().id);
    if (dependencies_.periodicCloudSync && !cloudSyncDisabledByEnvironment()) startPeriodicCloudSync();
}

CaptureEngine::~CaptureEngine() {
    // Stop the stream first: after stop() no sample reaches this engine any more.
    if (stream_) {
        try {
            stream_->stop();
        } catch (const std::exception&) {
        }
        stream_.reset();
    }
    workers_.stopAndJoinAll();  // includes a stop that is still finishing the recorder
    if (auto recording = takeRecording(); recording.recorder) {
        if (!recording.recorder->manifest().firstVideoPTSSeconds) {
            discardEmptyCapture(std::move(recording.recorder));
            return;
        }
        try {
            endRecording(*recording.recorder, recording.consent);
        } catch (const std::exception&) {
            // The media files are complete; only the manifest's end could not be written.
        }
    }
}

CaptureEngine::ObserverID CaptureEngine::addObserver(std::function<void()> observer) {
    const ObserverID id = nextObserverID_++;
    observers_.emplace(id, std::move(observer));
    return id;
}

void CaptureEngine::removeObserver(ObserverID id) { observers_.erase(id); }

void CaptureEngine::update(const std::function<void(CaptureEngineState&)>& change) {
    CaptureEngineState next = state_;
    change(next);
    if (next == state_) return;
    state_ = std::move(next);
    // A copy, so an observer may add or remove observers.
    const auto observers = observers_;
    for (const auto& [id, observer] : observers) observer();
}

void CaptureEngine::postToMain(std::function<void()> task) {
    dependencies_.mainQueue.post([life = std::weak_ptr<int>(alive_), task = std::move(task)] {
        if (life.lock()) task();
    });
}

std::stop_source CaptureEngine::runOffMain(std::function<void(std::stop_token)> work,
                                           std::function<void(std::exception_ptr)> then) {
    return workers_.start([this, work = std::move(work), then = std::move(then)](std::stop_token stop) {
        std::exception_ptr failure;
        try {
            work(stop);
        } catch (...) {
            failure = std::current_exception();
        }
        postToMain([then, failure] { then(failure); });
    });
}

// ---- Displays ---------------------------------------------------------------------------------

void CaptureEngine::refreshDisplays() {
    try {
        auto displays = makeCapturableDisplays(dependencies_.capture.shareableDisplays());
        update([&](CaptureEngineState& s) {
            s.displays = std::move(displays);
            if (s.displays.empty()) s.errorMessage = "No capturable display is available.";
            else s.errorMessage.reset();
        });
    } catch (const std::exception& error) {
        update([&](CaptureEngineState& s) {
            s.errorMessage = std::string("Quillmer could not load shareable displays: ") + error.what();
        });
    }
}

// ---- Capture ----------------------------------------------------------------------------------

void CaptureEngine::startCapture(const CapturableDisplay& chosen, std::optional<RecordingConsentAffirmation> consent) {
    if (state_.isCapturing || isStopping_ || state_.isBusy()) return;
    // A copy: callers pass an element of state().displays, which the first update below replaces.
    const CapturableDisplay display = chosen;
    update([](CaptureEngineState& s) {
        s.frameCount = 0;
        s.lastFrameTimestamp = kNoFrameTimestamp;
        s.errorMessage.reset();
        s.lastSessionDirectory.reset();
        // The brief belongs to the previous session's export, so it goes with it.
        s.clearProcessingResults();
    });

    std::unique_ptr<LocalSessionRecorder> recorder;
    std::unique_ptr<CaptureStream> stream;
    try {
        // Creates the session folder and its first session.json, which stay even if the start fails.
        recorder = std::make_unique<LocalSessionRecorder>(display.display, dependencies_.sessionsRoot(),
                                                          dependencies_.writers, dependencies_.processes);
        CaptureStreamConfiguration configuration;
        configuration.display = display.display;
        stream = dependencies_.capture.makeStream(configuration, *this);
        stream->start();
    } catch (const std::exception& error) {
        if (recorder) discardEmptyCapture(std::move(recorder));
        update([&](CaptureEngineState& s) { s.errorMessage = std::string("Capture could not start: ") + error.what(); });
        return;
    }
    {
        std::lock_guard lock(recorderBox_.lock);
        recorderBox_.recording = {std::move(recorder), std::move(consent)};
    }
    stream_ = std::move(stream);
    update([](CaptureEngineState& s) {
        s.isCapturing = true;
        s.captureStartedAt = now();
    });
}

void CaptureEngine::stopCapture(Completion done) {
    if (done) stopCompletions_.push_back(std::move(done));
    if (isStopping_) return;  // the stop in progress calls every completion
    if (!state_.isCapturing) {
        // Nothing runs, so there is nothing to stop, and the current session stays as it is.
        auto completions = std::move(stopCompletions_);
        stopCompletions_.clear();
        for (auto& completion : completions) completion();
        return;
    }
    isStopping_ = true;
    finishCapture(std::move(stream_), std::nullopt);
}

void CaptureEngine::streamDidStopWithError(const std::string& description) {
    postToMain([this, description] {
        if (!stream_) return;  // already stopped, or a stop is under way
        isStopping_ = true;
        finishCapture(std::move(stream_), description);
    });
}

// A capture without a single video sample is no meeting: its folder goes rather than being listed.
void CaptureEngine::discardEmptyCapture(std::unique_ptr<LocalSessionRecorder> recorder) {
    const auto folder = recorder->directory();
    recorder.reset();  // closes its writers first
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

CaptureEngine::Recording CaptureEngine::takeRecording() {
    std::lock_guard lock(recorderBox_.lock);
    return std::exchange(recorderBox_.recording, {});
}

// Stops the stream and finishes the recorder on a worker thread, then publishes the stop.
// `failure` is the stream's own error when it stopped unexpectedly.
void CaptureEngine::finishCapture(std::unique_ptr<CaptureStream> stream, std::optional<std::string> failure) {
    struct Outcome {
        std::shared_ptr<CaptureStream> stream;
        std::optional<std::string> stopError;
        std::optional<std::filesystem::path> folder;
        bool nothingRecorded = false;
    };
    auto outcome = std::make_shared<Outcome>();
    outcome->stream = std::move(stream);
    const bool streamFailed = failure.has_value();

    runOffMain(
        [this, outcome, streamFailed](std::stop_token) {
            if (outcome->stream) {
                // After a failure the other sources may still run; stop them, their error adds nothing.
                try {
                    outcome->stream->stop();
                } catch (const std::exception& error) {
                    if (!streamFailed) outcome->stopError = error.what();
                }
                outcome->stream.reset();
            }
            if (auto recording = takeRecording(); recording.recorder) {
                if (!recording.recorder->manifest().firstVideoPTSSeconds) {
                    outcome->nothingRecorded = true;
                    discardEmptyCapture(std::move(recording.recorder));
                    return;
                }
                outcome->folder = recording.recorder->directory();
                try {
                    endRecording(*recording.recorder, recording.consent);
                } catch (const std::exception& error) {
                    // The media are on disk; report the manifest that could not be completed.
                    if (!outcome->stopError) outcome->stopError = error.what();
                }
            }
        },
        [this, outcome, failure](std::exception_ptr) {
            update([&](CaptureEngineState& s) {
                if (outcome->stopError) s.errorMessage = "Capture could not stop cleanly: " + *outcome->stopError;
                s.lastSessionDirectory = outcome->folder;
                s.isCapturing = false;
                s.captureStartedAt.reset();
                s.captureCompletedAt = now();
            });
            refreshRecentSessions();
            if (outcome->nothingRecorded) {
                update([&](CaptureEngineState& s) {
                    s.errorMessage = "Capture stopped before any video was recorded; nothing was kept." +
                                     (failure ? " " + *failure : std::string());
                });
            } else if (failure) {
                update([&](CaptureEngineState& s) {
                    s.errorMessage = "Capture stopped unexpectedly. The recorded portion was saved locally. " + *failure;
                });
            }
            isStopping_ = false;
            auto completions = std::move(stopCompletions_);
            stopCompletions_.clear();
            for (auto& completion : completions) completion();
        });
}

// ---- Samples (sample queue) ---------------------------------------------------------------------

void CaptureEngine::streamDidOutputSample(const CaptureSample& sample) {
    switch (sample.kind) {
        case SampleKind::screen: {
            if (!sample.video.isValid()) return;
            {
                std::lock_guard lock(recorderBox_.lock);
                if (auto& recorder = recorderBox_.recording.recorder) recorder->appendVideo(sample.video);
            }
            // Counted even when the writer dropped it: this counts what the stream delivered.
            const double seconds = sample.video.presentationSeconds;
            postToMain([this, seconds] {
                update([&](CaptureEngineState& s) {
                    s.frameCount += 1;
                    s.lastFrameTimestamp = formatFrameTimestamp(seconds);
                });
            });
            return;
        }
        case SampleKind::systemAudio:
        case SampleKind::microphone: {
            if (!sample.audio.isValid()) return;
            std::lock_guard lock(recorderBox_.lock);
            if (auto& recorder = recorderBox_.recording.recorder)
                recorder->appendAudio(sample.audio, sample.kind == SampleKind::microphone);
            return;
        }
    }
}

}  // namespace quillmer
