#include "platform/linux/pulse_audio_connection.h"

#include "core/error.h"

namespace quillmer {
namespace {

void signalMainloop(pa_context*, void* mainloop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(mainloop), 0);
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
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context_);
            if (state == PA_CONTEXT_READY) break;
            if (!PA_CONTEXT_IS_GOOD(state)) {
                failure = lastErrorText();
                break;
            }
            pa_threaded_mainloop_wait(mainloop_);
        }
    }
    if (!failure.empty()) {
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

void PulseAudioConnection::waitFor(pa_operation* operation) const {
    if (!operation) return;
    // The context's state callback also signals, so a dying connection ends the wait.
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING && isReady()) pa_threaded_mainloop_wait(mainloop_);
    pa_operation_unref(operation);
}

}  // namespace quillmer
