#include <gtest/gtest.h>

#include <regex>

#include "capture/local_session_manifest.h"
#include "cli/capture_commands.h"
#include "cli/consent_commands.h"
#include "consent/consent_store.h"
#include "core/atomic_file.h"
#include "platform/linux/json_file_user_defaults.h"
#include "support/fake_capture_service.h"
#include "support/fake_media_writers.h"
#include "support/temporary_folder.h"

namespace quillmer::testing {
namespace {

struct Outcome {
    int status = 0;
    std::string out, err;
};

class RecordCommandTest : public ::testing::Test {
protected:
    RecordCommandTest() {
        capture.displays = {{5, 1280, 720}};
        capture.feedScreen = {1280, 720};
    }

    template <typename Command>
    static Outcome run(Command command) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const int status = command();
        return {status, ::testing::internal::GetCapturedStdout(), ::testing::internal::GetCapturedStderr()};
    }
    Outcome record(cli::RecordOptions options) { return run([&] { return cli::record(capture, writers, defaults, options); }); }
    Outcome consent(std::vector<std::string> arguments) { return run([&] { return cli::runConsent(defaults, arguments); }); }
    std::filesystem::path sessions() const { return home.path() / "data" / "Quillmer" / "Sessions"; }

    ScopedDataHome home;
    FakeCaptureService capture;
    FakeMediaWriterFactory writers;
    JsonFileUserDefaults defaults{home.path() / "defaults.json"};
};

TEST_F(RecordCommandTest, RecordsOnlyWithTheAffirmationAndKeepsItAsThePageDoes) {
    // Neither the flag nor standing consent: refused before anything exists.
    const Outcome refused = record({5, 0.05});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("everyone on the call knows"), std::string::npos) << refused.err;
    EXPECT_FALSE(capture.streamsMade() || std::filesystem::exists(sessions()));

    // The flag: the notice is shown once and acknowledged, and the recording carries the claim.
    for (const auto& [options, standing, showsNotice] :
         std::vector<std::tuple<cli::RecordOptions, bool, bool>>{{{5, 0.05, true}, false, true},
                                                                 {{5, 0.05, false}, true, false}}) {
        if (standing) consent({"standing", "on"});
        const Outcome run = record(options);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err.find("Before you record") != std::string::npos, showsNotice) << run.err;
        const std::filesystem::path folder = run.out.substr(0, run.out.size() - 1);
        EXPECT_EQ(std::make_tuple(folder.parent_path(), readManifest(folder).displayID), std::make_tuple(sessions(), 5u));
        EXPECT_TRUE(capture.lastStream().stopped);

        // The page's record for the same choices: its eight keys, standing as stored.
        const Json record = parseJSON(readWholeFile(folder / "consent.json"));
        EXPECT_EQ(std::make_tuple(record.size(), record["standing"]), std::make_tuple(size_t{8}, Json(standing)));
        // The time text as the page's toISOString() writes it.
        EXPECT_TRUE(std::regex_match(record["clientAffirmedAt"].get<std::string>(),
                                     std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")));
        EXPECT_TRUE(ConsentStore(defaults).recordingConsentState().lastAffirmedAt);
        EXPECT_EQ(ConsentStore(defaults).acknowledgedDisclosureVersion(), 1);
    }
}

TEST_F(RecordCommandTest, FailuresExitOneWithTheEngineMessage) {
    EXPECT_EQ(record({6, 0.05, true}).status, 1);  // no such display
    EXPECT_EQ(capture.streamsMade(), 0);
    capture.startError = "no XShm";
    const Outcome failed = record({5, 0.05, true});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("Capture could not start: no XShm"), std::string::npos) << failed.err;
}

TEST_F(RecordCommandTest, StandingConsentIsSetShownAndWithdrawn) {
    for (const auto& [arguments, status, standing] : std::vector<std::tuple<std::vector<std::string>, int, bool>>{
             {{"standing", "status"}, 0, false}, {{"standing", "on"}, 0, true}, {{"standing", "status"}, 0, true},
             {{"standing"}, 2, true}, {{"standing", "yes"}, 2, true}, {{"on"}, 2, true}, {{"standing", "off"}, 0, false},
         }) {
        const Outcome run = consent(arguments);
        EXPECT_EQ(run.status, status) << ::testing::PrintToString(arguments);
        EXPECT_EQ(ConsentStore(defaults).recordingConsentState().standing, standing);
        EXPECT_TRUE(status != 0 || run.out.find(standing ? "is on" : "is off") != std::string::npos) << run.out;
    }
}

}  // namespace
}  // namespace quillmer::testing
