#include "app/diagnostics_record.h"

#include <ctime>

#include "core/atomic_file.h"
#include "core/version.h"

namespace quillmer {

Json makeDiagnosticsRecord(const Json& snapshot, Timestamp now) {
    const auto field = [&](const char* key) -> const Json* {
        const auto it = snapshot.find(key);
        return it == snapshot.end() ? nullptr : &*it;
    };
    const Json* stage = field("stage");
    const Json* recent = field("recentSessions");
    const Json* available = field("available");
    Json cloud = Json::object();
    // The error text is left out: it may name a path or a host.
    if (const Json* sync = field("cloudSync"); sync && sync->is_object()) {
        for (const char* key : {"configured", "phase", "lastSyncedAt", "importedCount", "connectAvailable"})
            if (sync->contains(key)) cloud[key] = (*sync)[key];
    }
    return {
        {"schemaVersion", 1},
        {"createdAt", formatISO8601(now)},
        {"appVersion", quillmerVersion()},
        {"platform", "Linux"},
        {"captureAvailable", available && available->is_boolean() && available->get<bool>()},
        {"stage", stage && stage->is_string() ? stage->get<std::string>() : std::string("unknown")},
        {"recentMeetingCount", recent && recent->is_array() ? recent->size() : 0},
        {"cloudSync", cloud},
    };
}

void writeDiagnosticsRecord(const std::filesystem::path& file, const Json& record, bool replaceExisting) {
    writeFileAtomically(file, encodeJSON(record), AtomicWriteOptions{0600, replaceExisting});
}

std::string suggestedDiagnosticsFileName(Timestamp now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    char date[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    return std::string("quillmer-diagnostics-") + date + ".json";
}

}  // namespace quillmer
