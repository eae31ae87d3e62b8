#pragma once

#include <pulse/pulseaudio.h>

#include <functional>
#include <string>

namespace quillmer {

// A client connection to the PulseAudio server (or PipeWire's Pulse server) on its own threaded
// main loop. The server is the one libpulse finds by itself ($PULSE_SERVER, the user's runtime
// folder); it is never spawned. A server that accepts the connection but stays silent is given up
// after kAnswerTimeoutSeconds, so a hung sound server cannot hang the caller.
class PulseAudioConnection {
public:
    static constexpr int kAnswerTimeoutSeconds = 5;

    // Throws quillmer::Error when no server answers in time.
    explicit PulseAudioConnection(const std::string& clientName);
    ~PulseAudioConnection();
    PulseAudioConnection(const PulseAudioConnection&) = delete;
    PulseAudioConnection& operator=(const PulseAudioConnection&) = delete;

    pa_threaded_mainloop* mainloop() const { return mainloop_; }
    pa_context* context() const { return context_; }
    bool isReady() const { return pa_context_get_state(context_) == PA_CONTEXT_READY; }
    std::string lastErrorText() const { return pa_strerror(pa_context_errno(context_)); }

    // Waits (lock held) until the operation has finished or the connection failed; releases it.
    // Throws quillmer::Error when the server does not answer in time.
    void waitFor(pa_operation* operation) const;

    // Waits (lock held) on the main loop until `done` holds, rechecking whenever the loop signals.
    // False when the server did not answer within kAnswerTimeoutSeconds.
    bool waitUntil(const std::function<bool()>& done) const;
    // "the server did not answer within 5 seconds", for the error of a wait that ran out.
    static std::string timeoutText();

    // Holds the main loop's lock: needed for every libpulse call outside a callback.
    class Lock {
    public:
        explicit Lock(const PulseAudioConnection& connection) : mainloop_(connection.mainloop_) {
            pa_threaded_mainloop_lock(mainloop_);
        }
        ~Lock() { pa_threaded_mainloop_unlock(mainloop_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* mainloop_;
    };

private:
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
};

}  // namespace quillmer
