// The consent record follows its capture to the end, whichever way the capture ends.
#include <gtest/gtest.h>

#include <functional>

#include "core/atomic_file.h"
#include "core/iso8601.h"
#include "core/loop_main_queue.h"
#include "engine/capture_engine.h"
#include "support/fake_capture_service.h"
#include "support/fake_media_writers.h"
#include "support/fake_process_runner.h"
#include "support/recording_trash.h"
#include "support/temporary_folder.h"

namespace quillmer::testing {
namespace {

struct EngineRig {
    EngineRig() { capture.displays = {{7, 640, 360}}; }

    // Starts a capture with one screen sample.
    void startCapture(std::optional<RecordingConsentAffirmation> consent) {
        engine->refreshDisplays();
        engine->startCapture(engine->state().displays.at(0), consent);
        capture.lastStream().deliver(screenSample(1.0));
    }
    // The folder of the capture that ended last: where its video was finished.
    std::filesystem::path lastFolder() const { return writers.finishedFiles().back().parent_path(); }

    TemporaryFolder root;
    FakeCaptureService capture;
    FakeMediaWriterFactory writers;
    UnlaunchableProcessRunner processes;
    RecordingTrash trash;
    LoopMainQueue queue;
    std::unique_ptr<CaptureEngine> engine = std::make_unique<CaptureEngine>(CaptureEngineDependencies{
        capture, writers, processes, trash, queue, [this] { return root / "Sessions"; }, [this] { return root / "Exports"; },
        unavailableProcessingStages()});
};

void stop(EngineRig& rig) {
    bool stopped = false;
    rig.engine->stopCapture([&] { stopped = true; });
    rig.queue.runUntil([&] { return stopped; });
}

TEST(ConsentRecordOfACapture, IsWrittenHoweverTheCaptureEndsAndOnlyIntoItsOwnFolder) {
    const RecordingConsentAffirmation given{1, "2026-05-04T09:29:59.120Z", true};
    const auto failStream = [](EngineRig& rig) {
        rig.capture.lastStream().fail("The display went away.");
        rig.queue.runUntil([&] { return !rig.engine->state().isCapturing; });
    };
    const auto quit = [](EngineRig& rig) { rig.engine.reset(); };
    for (const auto& [name, end] : std::vector<std::pair<const char*, std::function<void(EngineRig&)>>>{
             {"stop", stop}, {"stream failure", failStream}, {"quit while recording", quit}}) {
        EngineRig rig;
        rig.startCapture(given);
        end(rig);
        const auto affirmed = rig.lastFolder();
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
        if (!rig.engine) continue;
        rig.startCapture(std::nullopt);
        stop(rig);
        const auto unaffirmed = rig.lastFolder();
        ASSERT_NE(unaffirmed, affirmed);
        EXPECT_FALSE(std::filesystem::exists(unaffirmed / "consent.json")) << name;
    }
}

}  // namespace
}  // namespace quillmer::testing
