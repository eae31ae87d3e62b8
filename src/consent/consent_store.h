#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "core/error.h"
#include "core/iso8601.h"
#include "core/json.h"
#include "platform/user_defaults.h"

namespace quillmer {

enum class ConsentErrorCase { consentRequired, unknownDisclosureVersion };

class ConsentError : public FamilyError<ConsentErrorCase> {
public:
    explicit ConsentError(ConsentErrorCase kind);
};

struct RecordingConsentState {
    bool standing = false;
    std::optional<Timestamp> standingSince;
    std::optional<Timestamp> lastAffirmedAt;
    bool operator==(const RecordingConsentState&) const = default;
};

struct RecordingConsentAffirmation {
    int disclosureTextVersion = 1;
    std::string clientAffirmedAt;  // the time text the page sent, kept as is
    bool standing = false;
    bool operator==(const RecordingConsentAffirmation&) const = default;
};

inline constexpr const char* kDisclosureAcknowledgedVersionKey = "ai.quillmer.consent.disclosureAcknowledgedVersion";
inline constexpr const char* kStandingRecordingKey = "ai.quillmer.consent.standingRecording";
inline constexpr const char* kStandingSinceKey = "ai.quillmer.consent.standingSince";
inline constexpr const char* kLastAffirmedAtKey = "ai.quillmer.consent.lastAffirmedAt";

// The revision of the recording disclosure this build shows.
inline constexpr int kCurrentDisclosureVersion = 1;

// That revision's text as plain paragraphs, title first, for a terminal; the review page shows
// the same words (renderer/src/consent.ts).
std::string recordingDisclosureText();

// The operator's recording-consent choices, kept in user defaults, and the per-session record
// of their claim that everyone on the call was informed.
class ConsentStore {
public:
    explicit ConsentStore(UserDefaults& defaults) : defaults_(defaults) {}

    RecordingConsentState recordingConsentState() const;

    // Stores max(stored, 1) for revision 1 and returns what is stored; any other revision throws
    // unknownDisclosureVersion and changes nothing.
    int acknowledgeDisclosure(int version);
    int acknowledgedDisclosureVersion() const;

    RecordingConsentState setStandingRecordingConsent(bool on, Timestamp now);

    // Called when a capture started with a valid affirmation.
    void recordAffirmation(Timestamp now);

    // The untyped payload the page sends with "capture.start"; throws consentRequired unless it
    // affirms, for the current disclosure, that everyone was informed.
    static RecordingConsentAffirmation checkAffirmation(const Json& payload);

    // Writes "consent.json" into the session folder. Throws FileSystemError.
    static void writeConsentRecord(const RecordingConsentAffirmation& affirmation,
                                   const std::filesystem::path& sessionFolder, Timestamp now);

    // The objects the state snapshot carries.
    Json disclosureJSON() const;
    Json recordingConsentJSON() const;

private:
    UserDefaults& defaults_;
};

}  // namespace quillmer
