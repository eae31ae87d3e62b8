#include "platform/linux/pulse_audio_connection.h"

#include "core/error.h"

namespace quillmer {
namespace {

void signalMainloop(pa_context*, void* mainloop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(mainloop), 0);
}

struct Deadline {
    pa_threaded_mainloop* mainloop;
    bool passed = false;
};

void deadlinePassed(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    auto& deadline = *static_cast<Deadline*>(userdata);
    deadline.passed = true;
    pa_threaded_mainloop_signal(deadline.mainloop, 0);
}

}  // namespace

PulseAudioConnection::PulseAudioConnection(const std::string& clientName) {
    mainloop_ = pa_threaded_mainloop_new();
    if (!mainloop_) throw Error("The PulseAudio client could not be set up.");
    context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), clientName.c_str());
    if (!context_) {
        pa_threaded_mainloop_free(mainloop_);
        throw Error("The PulseAudio client could not be set up.");
    }
    pa_context_set_state_callback(context_, signalMainloop, mainloop_);

    std::string failure;
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        failure = lastErrorText();
    } else if (pa_threaded_mainloop_start(mainloop_) < 0) {
        failure = "its event thread could not start";
    } else {
        Lock lock(*this);
        const bool settled = waitUntil([this] {
            const pa_context_state_t state = pa_context_get_state(context_);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        });
        if (!settled) failure = timeoutText();
        else if (!isReady()) failure = lastErrorText();
    }
    if (!failure.empty()) {
        {
            Lock lock(*this);
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
        }
        pa_threaded_mainloop_stop(mainloop_);
        pa_context_unref(context_);
        pa_threaded_mainloop_free(mainloop_);
        throw Error("No PulseAudio server is available: " + failure + ".");
    }
}

PulseAudioConnection::~PulseAudioConnection() {
    {
        Lock lock(*this);
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
    }
    pa_threaded_mainloop_stop(mainloop_);
    pa_context_unref(context_);
    pa_threaded_mainloop_free(mainloop_);
}

std::string PulseAudioConnection::timeoutText() {
    return "the server did not answer within " + std::to_string(kAnswerTimeoutSeconds) + " seconds";
}

bool PulseAudioConnection::waitUntil(const std::function<bool()>& done) const {
    if (done()) return true;
    // A timer on the connection's own loop wakes this wait when the server stays silent.
    Deadline deadline{mainloop_};
    pa_time_event* timer = pa_context_rttime_new(
        context_, pa_rtclock_now() + static_cast<pa_usec_t>(kAnswerTimeoutSeconds) * PA_USEC_PER_SEC, deadlinePassed,
        &deadline);
    bool finished = false;
    while (!(finished = done()) && !deadline.passed) pa_threaded_mainloop_wait(mainloop_);
    if (timer) pa_threaded_mainloop_get_api(mainloop_)->time_free(timer);
    return finished;
}

void PulseAudioConnection::waitFor(pa_operation* operation) const {
    if (!operation) return;
    // The context's state callback also signals, so a dying connection ends the wait.
    const bool settled =
        waitUntil([&] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING || !isReady(); });
    if (!settled) pa_operation_cancel(operation);
    pa_operation_unref(operation);
    if (!settled) throw Error("No PulseAudio server is available: " + timeoutText() + ".");
}

}  // namespace quillmer
