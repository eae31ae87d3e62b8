#include <gtest/gtest.h>

#include <functional>

#include "consent/consent_store.h"
#include "core/atomic_file.h"
#include "core/iso8601.h"
#include "platform/linux/json_file_user_defaults.h"
#include "support/engine_test_fixture.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

class ConsentStoreTest : public ::testing::Test {
protected:
    testing::TemporaryFolder folder;
    JsonFileUserDefaults defaults{folder / "defaults.json"};
    ConsentStore store{defaults};
    const Timestamp monday = *parseISO8601("2026-05-04T09:30:12Z");
    const Timestamp tuesday = *parseISO8601("2026-05-05T10:00:00Z");
};

TEST_F(ConsentStoreTest, DisclosureRevisionOnlyEverRises) {
    EXPECT_TRUE(store.disclosureJSON()["required"].get<bool>());
    try {
        store.acknowledgeDisclosure(2);
        FAIL();
    } catch (const ConsentError& error) {
        EXPECT_STREQ(error.what(), "That disclosure revision is not part of this build.");
    }
    EXPECT_EQ(defaults.value(kDisclosureAcknowledgedVersionKey), std::nullopt);
    EXPECT_EQ(store.acknowledgeDisclosure(1), 1);
    EXPECT_EQ(store.acknowledgeDisclosure(1), 1);
    EXPECT_FALSE(store.disclosureJSON()["required"].get<bool>());
    defaults.setValue(kDisclosureAcknowledgedVersionKey, 3);  // from a newer build
    EXPECT_EQ(store.acknowledgeDisclosure(1), 3);
}

TEST_F(ConsentStoreTest, StandingConsentKeepsItsFirstDateUntilTurnedOff) {
    EXPECT_EQ(store.recordingConsentState(), RecordingConsentState{});
    EXPECT_EQ(store.setStandingRecordingConsent(true, monday).standingSince, monday);
    EXPECT_EQ(store.setStandingRecordingConsent(true, tuesday).standingSince, monday);
    EXPECT_EQ(store.setStandingRecordingConsent(false, tuesday), RecordingConsentState{});
    EXPECT_EQ(store.setStandingRecordingConsent(true, tuesday).standingSince, tuesday);
    store.recordAffirmation(tuesday);
    EXPECT_EQ(encodeCompactJSON(store.recordingConsentJSON()),
              R"({"lastAffirmedAt":"2026-05-05T10:00:00Z","standing":true,"standingSince":"2026-05-05T10:00:00Z"})");
    defaults.setValue(kStandingSinceKey, 42);  // not a date: reads as absent
    EXPECT_EQ(store.recordingConsentState().standingSince, std::nullopt);
}

TEST(ConsentAffirmation, AcceptsOnlyACompleteAffirmation) {
    const Json valid = {{"participantsInformed", true}, {"disclosureTextVersion", 1}, {"affirmedAt", "09:30"}, {"standing", false}};
    EXPECT_EQ(ConsentStore::checkAffirmation(valid), (RecordingConsentAffirmation{1, "09:30", false}));

    std::vector<Json> refused = {nullptr, Json::array(), "yes"};
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::optional<Json>>>{
             {"participantsInformed", false}, {"participantsInformed", "true"}, {"disclosureTextVersion", 2},
             {"disclosureTextVersion", "1"}, {"affirmedAt", ""}, {"affirmedAt", 5}, {"standing", "no"},
             {"participantsInformed", {}}, {"disclosureTextVersion", {}}, {"affirmedAt", {}}, {"standing", {}}}) {
        Json& payload = refused.emplace_back(valid);
        if (value) payload[key] = *value;
        else payload.erase(key);  // missing
    }
    for (const auto& payload : refused) {
        try {
            ConsentStore::checkAffirmation(payload);
            ADD_FAILURE() << payload.dump();
        } catch (const ConsentError& error) {
            EXPECT_EQ(error.kind(), ConsentErrorCase::consentRequired);
            EXPECT_STREQ(error.what(), "Quillmer needs your confirmation that everyone on the call knows it is being recorded.");
        }
    }
}

// The consent record follows its capture to the end, whichever way the capture ends.
class ConsentRecordTest : public testing::EngineTest {
protected:
    // Starts a capture with one screen sample.
    void startCapture(std::optional<RecordingConsentAffirmation> consent) {
        engine().startCapture(firstDisplay(), consent);
        capture.lastStream().deliver(testing::screenSample(1.0));
    }
    void stop() {
        await([&](auto done) { engine().stopCapture(done); });
    }
    // The folder of the capture that ended last: where its video was finished.
    std::filesystem::path lastFolder() const { return writers.finishedFiles().back().parent_path(); }
};

TEST_F(ConsentRecordTest, IsWrittenHoweverTheCaptureEndsAndOnlyIntoItsOwnFolder) {
    const RecordingConsentAffirmation given{1, "2026-05-04T09:29:59.120Z", true};
    const auto failStream = [this] {
        capture.lastStream().fail("The display went away.");
        queue.runUntil([&] { return !state().isCapturing; });
    };
    for (const auto& [name, end] : std::vector<std::pair<const char*, std::function<void()>>>{
             {"stop", [this] { stop(); }}, {"stream failure", failStream}, {"quit while recording", [this] { destroyEngine(); }}}) {
        startCapture(given);
        end();
        const auto affirmed = lastFolder();
        ASSERT_TRUE(std::filesystem::exists(affirmed / "consent.json")) << name;
        Json record = parseJSON(readWholeFile(affirmed / "consent.json"));
        EXPECT_TRUE(parseISO8601(record["affirmedAt"].get<std::string>()) && record["appVersion"].is_string());
        record.erase("affirmedAt");  // the time it was written
        record.erase("appVersion");
        EXPECT_EQ(record, parseJSON(R"({"clientAffirmedAt": "2026-05-04T09:29:59.120Z", "disclosureTextVersion": 1,
            "participantsInformed": true, "schemaVersion": 1, "standing": true, "note": "A record of the operator's )"
                                    R"(claim that everyone on the call was informed. Quillmer cannot verify this claim )"
                                    R"(and it is not a compliance guarantee."})")) << name;

        // The next capture of the same engine was started without an affirmation: it gets none.
        if (std::string_view(name) == "quit while recording") continue;
        startCapture(std::nullopt);
        stop();
        const auto unaffirmed = lastFolder();
        ASSERT_NE(unaffirmed, affirmed);
        EXPECT_FALSE(std::filesystem::exists(unaffirmed / "consent.json")) << name;
    }
}

}  // namespace
}  // namespace quillmer
