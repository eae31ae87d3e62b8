#include "platform/linux/pulse_audio_devices.h"

namespace quillmer {
namespace {

struct Lookup {
    pa_threaded_mainloop* mainloop;
    std::optional<std::string> name;
};

std::optional<std::string> serverDefault(const PulseAudioConnection& connection, bool sink) {
    struct Query {
        Lookup lookup;
        bool sink;
    } query{{connection.mainloop(), std::nullopt}, sink};
    auto callback = [](pa_context*, const pa_server_info* info, void* userdata) {
        auto& q = *static_cast<Query*>(userdata);
        const char* name = info ? (q.sink ? info->default_sink_name : info->default_source_name) : nullptr;
        if (name && *name) q.lookup.name = name;
        pa_threaded_mainloop_signal(q.lookup.mainloop, 0);
    };
    connection.waitFor(pa_context_get_server_info(connection.context(), callback, &query));
    return query.lookup.name;
}

}  // namespace

std::optional<std::string> defaultSinkMonitorSource(const PulseAudioConnection& connection) {
    PulseAudioConnection::Lock lock(connection);
    auto sink = serverDefault(connection, true);
    if (!sink) return std::nullopt;
    Lookup lookup{connection.mainloop(), std::nullopt};
    auto callback = [](pa_context*, const pa_sink_info* info, int, void* userdata) {
        auto& l = *static_cast<Lookup*>(userdata);
        if (info && info->monitor_source_name && *info->monitor_source_name) l.name = info->monitor_source_name;
        pa_threaded_mainloop_signal(l.mainloop, 0);
    };
    connection.waitFor(pa_context_get_sink_info_by_name(connection.context(), sink->c_str(), callback, &lookup));
    return lookup.name;
}

std::optional<std::string> defaultMicrophoneSource(const PulseAudioConnection& connection) {
    PulseAudioConnection::Lock lock(connection);
    auto source = serverDefault(connection, false);
    if (!source) return std::nullopt;
    Lookup lookup{connection.mainloop(), std::nullopt};
    auto callback = [](pa_context*, const pa_source_info* info, int, void* userdata) {
        auto& l = *static_cast<Lookup*>(userdata);
        if (info && info->monitor_of_sink == PA_INVALID_INDEX) l.name = info->name;
        pa_threaded_mainloop_signal(l.mainloop, 0);
    };
    connection.waitFor(pa_context_get_source_info_by_name(connection.context(), source->c_str(), callback, &lookup));
    return lookup.name;
}

}  // namespace quillmer
