// The consent record follows its capture to the end, whichever way the capture ends.
#include <gtest/gtest.h>

#include <functional>

#include "core/atomic_file.h"
#include "core/iso8601.h"
#include "support/engine_test_fixture.h"

namespace quillmer::testing {
namespace {

class ConsentRecordTest : public EngineTest {
protected:
    // Starts a capture with one screen sample.
    void startCapture(std::optional<RecordingConsentAffirmation> consent) {
        engine().startCapture(firstDisplay(), consent);
        capture.lastStream().deliver(screenSample(1.0));
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
}  // namespace quillmer::testing
