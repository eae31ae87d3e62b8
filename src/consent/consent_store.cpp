#include "consent/consent_store.h"

#include <algorithm>

#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "core/version.h"

namespace quillmer {

namespace {
const char* describe(ConsentErrorCase kind) {
    switch (kind) {
        case ConsentErrorCase::consentRequired:
            return "Quillmer needs your confirmation that everyone on the call knows it is being recorded.";
        case ConsentErrorCase::unknownDisclosureVersion:
            return "That disclosure revision is not part of this build.";
    }
    return "";
}
}  // namespace

ConsentError::ConsentError(ConsentErrorCase kind) : FamilyError(kind, describe(kind)) {}

std::string recordingDisclosureText() {
    return "Before you record\n\n"
           "Quillmer is recording this computer\u2019s screen and audio.\n\n"
           "It records the display you choose as video, together with the sound of the call and your microphone as "
           "separate tracks. The recording stays on this computer.\n\n"
           "Nothing leaves this computer unless you approve it for a meeting: speaker-labelled transcription and "
           "model analysis are sent only after you have seen what would be sent and to whom.\n\n"
           "Recording people without telling them may be unlawful where you or they are. Tell everyone on the call "
           "before you start.\n";
}

RecordingConsentState ConsentStore::recordingConsentState() const {
    return {defaults_.boolValue(kStandingRecordingKey).value_or(false), defaults_.dateValue(kStandingSinceKey),
            defaults_.dateValue(kLastAffirmedAtKey)};
}

int ConsentStore::acknowledgedDisclosureVersion() const {
    const int64_t stored = defaults_.integerValue(kDisclosureAcknowledgedVersionKey).value_or(0);
    return static_cast<int>(std::clamp<int64_t>(stored, INT32_MIN, INT32_MAX));
}

int ConsentStore::acknowledgeDisclosure(int version) {
    if (version != kCurrentDisclosureVersion) throw ConsentError(ConsentErrorCase::unknownDisclosureVersion);
    // Never lowers a revision acknowledged in a newer build.
    defaults_.setValue(kDisclosureAcknowledgedVersionKey, std::max(acknowledgedDisclosureVersion(), version));
    return acknowledgedDisclosureVersion();
}

RecordingConsentState ConsentStore::setStandingRecordingConsent(bool on, Timestamp now) {
    defaults_.setValue(kStandingRecordingKey, on);
    if (!on) defaults_.removeValue(kStandingSinceKey);
    else if (!defaults_.dateValue(kStandingSinceKey)) defaults_.setDate(kStandingSinceKey, now);
    return recordingConsentState();
}

void ConsentStore::recordAffirmation(Timestamp now) { defaults_.setDate(kLastAffirmedAtKey, now); }

RecordingConsentAffirmation ConsentStore::checkAffirmation(const Json& payload) {
    const auto refuse = [] { return ConsentError(ConsentErrorCase::consentRequired); };
    if (!payload.is_object()) throw refuse();
    const auto field = [&](const char* key) -> const Json* {
        const auto it = payload.find(key);
        return it == payload.end() ? nullptr : &*it;
    };
    const Json* informed = field("participantsInformed");
    if (!informed || !informed->is_boolean() || !informed->get<bool>()) throw refuse();
    const Json* version = field("disclosureTextVersion");
    int64_t versionNumber = 0;
    if (!version || !decodeJSONValue(*version, versionNumber) || versionNumber != kCurrentDisclosureVersion) throw refuse();
    const Json* affirmedAt = field("affirmedAt");
    if (!affirmedAt || !affirmedAt->is_string() || affirmedAt->get_ref<const std::string&>().empty()) throw refuse();
    const Json* standing = field("standing");
    if (!standing || !standing->is_boolean()) throw refuse();
    return {kCurrentDisclosureVersion, affirmedAt->get<std::string>(), standing->get<bool>()};
}

void ConsentStore::writeConsentRecord(const RecordingConsentAffirmation& affirmation,
                                      const std::filesystem::path& sessionFolder, Timestamp now) {
    const Json record = {
        {"schemaVersion", 1},
        {"participantsInformed", true},
        {"affirmedAt", formatISO8601(now)},
        {"clientAffirmedAt", affirmation.clientAffirmedAt},
        {"standing", affirmation.standing},
        {"disclosureTextVersion", affirmation.disclosureTextVersion},
        {"appVersion", quillmerVersion()},
        {"note", "A record of the operator's claim that everyone on the call was informed. Quillmer cannot "
                 "verify this claim and it is not a compliance guarantee."},
    };
    writeFileAtomically(sessionFolder / kConsentFileName, encodeJSON(record));
}

Json ConsentStore::disclosureJSON() const {
    const int acknowledged = acknowledgedDisclosureVersion();
    return {{"currentVersion", kCurrentDisclosureVersion},
            {"acknowledgedVersion", acknowledged},
            {"required", acknowledged < kCurrentDisclosureVersion}};
}

Json ConsentStore::recordingConsentJSON() const {
    const auto state = recordingConsentState();
    Json json = {{"standing", state.standing}};
    putJSON(json, "standingSince", state.standingSince);
    putJSON(json, "lastAffirmedAt", state.lastAffirmedAt);
    return json;
}

}  // namespace quillmer
