#include "consent/consent_store.h"

#include <gtest/gtest.h>

#include "platform/linux/json_file_user_defaults.h"
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

}  // namespace
}  // namespace quillmer
