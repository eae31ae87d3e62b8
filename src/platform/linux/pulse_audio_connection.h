#pragma once

#include <pulse/pulseaudio.h>

#include <string>

namespace quillmer {

// A client connection to the PulseAudio server (or PipeWire's Pulse server) on its own threaded
// main loop. The server is the one libpulse finds by itself ($PULSE_SERVER, the user's runtime
// folder); it is never spawned.
class PulseAudioConnection {
public:
    // Throws quillmer::Error when no server answers.
    explicit PulseAudioConnection(const std::string& clientName);
    ~PulseAudioConnection();
    PulseAudioConnection(const PulseAudioConnection&) = delete;
    PulseAudioConnection& operator=(const PulseAudioConnection&) = delete;

    pa_threaded_mainloop* mainloop() const { return mainloop_; }
    pa_context* context() const { return context_; }
    bool isReady() const { return pa_context_get_state(context_) == PA_CONTEXT_READY; }
    std::string lastErrorText() const { return pa_strerror(pa_context_errno(context_)); }

    // Waits (lock held) until the operation has finished or the connection failed; releases it.
    void waitFor(pa_operation* operation) const;

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
