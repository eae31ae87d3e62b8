#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/bridge_test_fixture.h"
#include "core/atomic_file.h"
#include "support/export_builders.h"

namespace quillmer::testing {
namespace {

const char* const kUnsupported = "This version of Quillmer does not support that operation.";
const char* const kConsentRequired =
    "Quillmer needs your confirmation that everyone on the call knows it is being recorded.";
const char* const kChooseDisplay = "Choose a display before recording.";

Json affirmation() {
    return {{"participantsInformed", true}, {"disclosureTextVersion", 1}, {"affirmedAt", "2026-05-04T09:30:00.000Z"}, {"standing", false}};
}

// Malformed messages get no reply; every other message exactly one, with its id, even without args.
TEST_F(BridgeTest, EachWellFormedMessageGetsExactlyOneReplyWithItsID) {
    for (const Json& body : {Json(), Json("capture.state"), Json::array({"1", "capture.state"}),
                             Json{{"method", "capture.state"}}, Json{{"id", 1}, {"method", "capture.state"}},
                             Json{{"id", "1"}}, Json{{"id", "1"}, {"method", 3}}})
        bridge().handleMessage(body);
    bridge().handleMessage({{"id", "a"}, {"method", "capture.state"}});
    bridge().handleMessage({{"id", "b"}, {"method", "capture.newSession"}, {"args", "not a list"}});
    queue.runPending();
    ASSERT_EQ(page->replies.size(), 2u);
    EXPECT_EQ(page->replies[0]["value"]["stage"], "idle");
    EXPECT_EQ(page->replies[1]["id"], "b");
    EXPECT_EQ(page->replies[1]["ok"], true);

    for (const char* method : {"no.such", ""}) EXPECT_EQ(error(method), kUnsupported) << method;
    const Json reply = call("text.copy", {"hello"});  // a success without a value carries null
    EXPECT_EQ(reply, (Json{{"id", reply["id"]}, {"ok", true}, {"value", nullptr}}));
    EXPECT_EQ(host.copied, std::vector<std::string>{"hello"});
    host.clipboardWorks = false;
    EXPECT_EQ(error("text.copy", {"x"}), "That text cannot be copied.");
}

TEST_F(BridgeTest, CloudMethodsWithoutARelaySayWhy) {
    ScopedEnvironment noRelay("QUILLMER_RTMS_URL", std::nullopt);
    EXPECT_EQ(error("capture.connectCloud"), "This build of Quillmer has no Quillmer relay host configured, so "
                                             "connected Zoom capture is unavailable.");
    EXPECT_EQ(error("capture.syncCloud"), "This build of Quillmer has no Quillmer relay host configured, so it "
                                          "will not send or fetch meeting data.");
}

// Codex answers "mcp get" with the current registration; Claude Code has none yet.
class AgentToolsRunner final : public ProcessRunner {
public:
    ProcessResult run(const ProcessRequest& request) override {
        ProcessResult result;
        result.launched = true;
        const bool get = request.arguments.at(2) == "get";
        result.exitStatus = get && request.arguments.at(0) == "claude" ? 1 : 0;
        if (get) result.standardOutput = R"({"transport":{"command":"/bin/sh","env":{"QUILLMER_LIBRARY_ROOTS":"/exports"}}})";
        return result;
    }
};

TEST_F(BridgeTest, IntegrationsReportAndConnectTheCodingAgents) {
    AgentToolsRunner tools;
    codingAgents.emplace(tools, "/bin/sh", "/exports");
    EXPECT_EQ(value("integrations.status"),
              (Json{{"available", true}, {"connectedClients", {"codex"}}, {"repairableClients", Json::array()},
                    {"unavailableClients", Json::array()}}));
    EXPECT_EQ(value("integrations.install", {"claudeCode"}),
              (Json{{"client", "claudeCode"}, {"message", "Connected to Claude Code. Restart it once, then ask for a recent meeting."}}));
    for (const Json& args : {Json::array(), Json{"cursor"}, Json{1}})
        EXPECT_EQ(error("integrations.install", args), "Choose a supported coding agent to connect.");
}

TEST_F(BridgeTest, EveryEngineChangePushesOneSnapshotTakenAfterItWhileThePageLives) {
    int notifications = 0;
    bridge();
    engine().addObserver([&] { ++notifications; });
    recordShortSession();
    engine().newSession();
    ASSERT_GT(notifications, 0);
    EXPECT_EQ(static_cast<int>(page->states.size()), notifications);
    EXPECT_EQ(page->states.back(), bridge().stateSnapshot());
    EXPECT_EQ(page->states.back()["stage"], "idle");

    // The bridge does not keep a closed page alive, and replies and pushes then go nowhere.
    const std::weak_ptr<FakePage> gone = page;
    page.reset();
    EXPECT_TRUE(gone.expired());
    bridge().handleMessage({{"id", "a"}, {"method", "capture.state"}});
    recordShortSession();
}

// The affirmation is checked before anything else, then the display, then the engine may refuse.
TEST_F(BridgeTest, CaptureStartNeedsAValidAffirmationThenADisplayOfTheList) {
    const auto changed = [](const char* key, std::optional<Json> value) {
        Json consent = affirmation();
        value ? (void)(consent[key] = *value) : (void)consent.erase(key);
        return consent;
    };
    std::vector<std::pair<Json, std::string>> cases = {{{"7"}, kConsentRequired}, {{"7", 5}, kConsentRequired}};
    for (const Json& consent : {Json(), Json("yes"), changed("participantsInformed", false), changed("disclosureTextVersion", 2),
                                changed("affirmedAt", ""), changed("standing", std::nullopt)})
        cases.push_back({{"abc", consent}, kConsentRequired});
    for (const Json& source : {Json("abc"), Json(""), Json("5"), Json("-7"), Json("4294967303"), Json(7), Json()})
        cases.push_back({{source, affirmation()}, kChooseDisplay});
    for (const auto& [args, expected] : cases) EXPECT_EQ(error("capture.start", args), expected) << args.dump();
    capture.startError = "the display went away";
    EXPECT_EQ(error("capture.start", {"7", affirmation()}), "Capture could not start: the display went away");
    EXPECT_FALSE(state().isCapturing);
    EXPECT_FALSE(defaults.value(kLastAffirmedAtKey));
}

TEST_F(BridgeTest, ARecordingKeepsTheAffirmationUntilStopWritesItIntoTheSession) {
    const Json started = value("capture.start", {"+9", affirmation()});
    EXPECT_EQ(started["stage"], "recording");
    EXPECT_EQ(started["detail"], "0 frames captured");
    EXPECT_EQ(capture.lastStream().configuration.display.displayID, 9u);
    EXPECT_TRUE(defaults.dateValue(kLastAffirmedAtKey));
    capture.lastStream().deliver(screenSample(1.0));  // a capture without video keeps nothing

    const Json stopped = value("capture.stop");
    EXPECT_EQ(stopped["stage"], "ready-to-process");
    const auto folder = state().lastSessionDirectory.value();
    const Json record = parseJSON(readWholeFile(folder / "consent.json"));
    EXPECT_EQ(record["clientAffirmedAt"], "2026-05-04T09:30:00.000Z");
    EXPECT_EQ(record["participantsInformed"], true);

    // A second stop has no affirmation left to write.
    std::filesystem::remove(folder / "consent.json");
    value("capture.stop");
    EXPECT_FALSE(std::filesystem::exists(folder / "consent.json"));
}

TEST_F(BridgeTest, SourcesListDisplaysOrFailWithTheEngineMessage) {
    const Json sources = value("capture.sources");
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources[0]["id"], "7");
    EXPECT_EQ(sources[1]["id"], "9");
    EXPECT_EQ(sources[0]["label"], state().displays[0].label());
    capture.displays.clear();
    EXPECT_EQ(error("capture.sources"), "No capturable display is available.");
}

TEST_F(BridgeTest, ConsentChoicesAnswerWithTheSnapshot) {
    EXPECT_EQ(error("consent.acknowledgeDisclosure", {2}), "That disclosure revision is not part of this build.");
    EXPECT_EQ(value("consent.acknowledgeDisclosure", {1})["disclosure"],
              (Json{{"currentVersion", 1}, {"acknowledgedVersion", 1}, {"required", false}}));
    const Json on = value("consent.setStandingRecordingConsent", {true});
    EXPECT_EQ(on["consent"]["standing"], true);
    EXPECT_TRUE(on["consent"].contains("standingSince"));
    EXPECT_EQ(value("consent.setStandingRecordingConsent", {false})["consent"], (Json{{"standing", false}}));

    // Remote transcription: nothing usable writes nothing; with a relay and its credential, on and off.
    EXPECT_EQ(value("consent.setRemoteTranscription", {true})["remoteTranscription"]["configured"], false);
    EXPECT_FALSE(defaults.value(kRemoteRouteKey));
    destroyBridge();
    transcriptionEnvironment.hostedEndpoint = "https://relay.example";
    transcriptionEnvironment.deviceCredential = [] { return std::optional<std::string>("qm1_x"); };
    const Json remote = value("consent.setRemoteTranscription", {true})["remoteTranscription"];
    EXPECT_EQ(remote["enabled"], true);
    EXPECT_EQ(remote["providerHost"], "relay.example");
    EXPECT_EQ(value("consent.setRemoteTranscription", {false})["remoteTranscription"]["enabled"], false);
    EXPECT_FALSE(defaults.value(kRemoteRouteKey) || defaults.value(kRemoteApprovedAtKey));
}

TEST_F(BridgeTest, RestoreHandsOutTheExportAsABundleOrSaysWhyNot) {
    for (const char* id : {"6F1C2B9E-0000-4000-8000-000000000000", "../../etc"})
        EXPECT_EQ(error("capture.restore", {id}), "This local session is no longer available.") << id;
    const auto exportFolder = exportedSession();
    const std::string id = state().lastSessionDirectory->filename().string();
    engine().newSession();

    const Json result = value("capture.restore", {id});
    EXPECT_EQ(result["state"]["sessionName"], id);
    const Json& bundle = result["bundle"];
    const std::string bundleID = bundle["id"];
    EXPECT_EQ(bridge().openBundles().at(bundleID), exportFolder);
    EXPECT_EQ(bundle["displayName"], id);
    EXPECT_EQ(bundle["evidence"]["session"]["id"], id);
    EXPECT_EQ(bundle["transcript"]["segments"][0]["text"], "fix this");
    EXPECT_EQ(bundle["includedFeedbackIDs"], Json::array());
    EXPECT_EQ(bundle["reviewEdits"], Json::object());
    EXPECT_EQ(bundle["implementationBriefReady"], false);
    EXPECT_FALSE(bundle.contains("feedback") || bundle.contains("summary"));
    const std::string url = bundle["frameDataURLs"]["frames/a b-1.png"];
    EXPECT_EQ(url, "quillmer-review://evidence/" + bundleID + "/frames/a%20b-1.png");
    EXPECT_EQ(scheme.resolve(url), std::filesystem::weakly_canonical(exportFolder / "frames" / "a b-1.png"));

    // Without an id the current meeting is handed out again, under a new bundle id, with its review and media.
    writeTestFile(exportFolder / "review-state.json",
                  R"({"includedFeedbackIDs":["F1",3],"visualEvidenceUsefulIDs":["F1"],"edits":{"F1":{"component":"Header"}}})");
    writeTestFile(exportFolder / "feedback.json", R"({"items":[]})");
    writeTestFile(exportFolder / "implementation-brief.md", "# Brief\n");
    writeTestFile(*state().lastSessionDirectory / "screen.mp4", "video");
    const Json again = value("capture.restore")["bundle"];
    EXPECT_NE(again["id"], bundleID);
    EXPECT_EQ(again["includedFeedbackIDs"], Json::array({"F1"}));
    EXPECT_EQ(again["visualEvidenceUsefulIDs"], Json::array({"F1"}));
    EXPECT_EQ(again["reviewEdits"]["F1"]["component"], "Header");
    EXPECT_EQ(again["feedback"]["items"], Json::array());
    EXPECT_EQ(again["implementationBriefReady"], true);
    EXPECT_EQ(again["mediaURL"], "quillmer-review://media/" + again["id"].get<std::string>() + "/screen.mp4");

    writeTestFile(exportFolder / "evidence.json", "[1, 2]");
    EXPECT_EQ(error("capture.restore"), "This file is not a readable Quillmer evidence brief.");
}

TEST_F(BridgeTest, DeleteAndNewSessionAnswerWithTheSnapshot) {
    const auto folder = recordShortSession();
    EXPECT_EQ(value("capture.newSession")["stage"], "idle");
    const Json afterDelete = value("capture.deleteSession", {folder.filename().string()});
    EXPECT_EQ(afterDelete["recentSessions"], Json::array());
    EXPECT_EQ(trash.moved, std::vector<std::filesystem::path>{folder});
}

TEST_F(BridgeTest, ImportsUseTheirPanelAndReportEngineFailures) {
    stages.importRecording = [](const auto&, std::stop_token) -> std::filesystem::path { throw Error("not a movie"); };
    EXPECT_EQ(value("capture.importRecording")["stage"], "idle");  // cancelled panel
    EXPECT_EQ(host.openTitles.back(), "Import a meeting recording");
    EXPECT_EQ(host.lastExtensions, (std::vector<std::string>{"mp4", "mov", "m4v"}));

    host.fileToOpen = root / "meeting.mov";
    EXPECT_EQ(error("capture.importRecording"), "Recording import could not complete: not a movie");

    recordShortSession();
    host.fileToOpen.reset();
    value("capture.importTranscript");
    EXPECT_EQ(host.openTitles.back(), "Add a timestamped transcript");
    EXPECT_EQ(host.lastExtensions, (std::vector<std::string>{"vtt", "srt"}));
}

TEST_F(BridgeTest, PathArgumentsAreAbsoluteRegularFilesToReadAndOnlyNewFilesToWrite) {
    std::vector<std::filesystem::path> imported;
    stages.importRecording = [&](const std::filesystem::path& file, std::stop_token) {
        imported.push_back(file);
        return root / "Sessions" / "imported";
    };
    acceptsPathArguments = true;
    const auto call = root / "call.mp4";
    writeTestFile(call, "movie");
    ASSERT_EQ(::mkfifo((root / "pipe.mp4").c_str(), 0600), 0);
    const auto existing = root / "existing.json";
    writeTestFile(existing, "keep me");
    const char* const relative = "Give the full path of a file on this computer, starting with \"/\".";
    const char* const notAFile = "That path does not name an ordinary file that Quillmer can read.";
    const char* const exists = "A file already exists at that path. Choose a new file name; Quillmer does not replace files.";
    const std::tuple<const char*, std::string, const char*> refused[] = {
        {"capture.importRecording", "call.mp4", relative},
        {"capture.importRecording", (root / "pipe.mp4").string(), notAFile},
        {"capture.importRecording", root.path().string(), notAFile},
        {"capture.importRecording", (root / "missing.mp4").string(), notAFile},
        {"capture.importTranscript", (root / "pipe.mp4").string(), notAFile},
        {"evidence.open", (root / "pipe.mp4").string(), notAFile},
        {"diagnostics.export", "diagnostics.json", relative},
        {"diagnostics.export", existing.string(), exists},
    };
    for (const auto& [method, path, expected] : refused) EXPECT_EQ(error(method, {path}), expected) << method << " " << path;
    EXPECT_EQ(readWholeFile(existing), "keep me");
    EXPECT_TRUE(imported.empty());

    EXPECT_EQ(value("capture.importRecording", {call.string()})["sessionName"], "imported");
    EXPECT_EQ(imported, std::vector<std::filesystem::path>{call});
    EXPECT_EQ(value("diagnostics.export", {(root / "new.json").string()}), true);
    EXPECT_TRUE(host.openTitles.empty() && host.saveTitles.empty());
}

TEST_F(BridgeTest, EveryMethodRefusesArgumentsOfTheWrongShapeWithItsOwnError) {
    const auto folder = recordShortSession();
    const std::string gone = "This local session is no longer available.", badPath = "Give the full path of a file on "
        "this computer, starting with \"/\".", badText = "That text cannot be copied.",
        badVersion = "That disclosure revision is not part of this build.";
    // A required argument may not be left out either; a script's undefined (null) is left out.
    const std::tuple<const char*, std::string, bool> methods[] = {
        {"capture.deleteSession", gone, true}, {"capture.restore", gone, false},
        {"capture.importRecording", badPath, false}, {"capture.importTranscript", badPath, false},
        {"evidence.open", badPath, false}, {"diagnostics.export", badPath, false},
        {"consent.acknowledgeDisclosure", badVersion, true}, {"consent.setStandingRecordingConsent", kConsentRequired, true},
        {"text.copy", badText, true},
    };
    for (const auto& [method, expected, required] : methods) {
        std::vector<Json> wrong = {Json::array({123}), Json::array({Json::array()}), Json::array({Json::object()}),
                                   Json::array({1.5})};
        if (required) wrong.insert(wrong.end(), {Json::array(), Json::array({nullptr})});
        for (const Json& args : wrong) EXPECT_EQ(error(method, args), expected) << method << " " << args.dump();
    }
    EXPECT_TRUE(trash.moved.empty());
    EXPECT_EQ(state().lastSessionDirectory, folder);
    EXPECT_TRUE(host.copied.empty());
    EXPECT_TRUE(host.openTitles.empty() && host.saveTitles.empty());
}

TEST_F(BridgeTest, EvidenceOpenChecksTheFileAndMakesItsExportCurrent) {
    EXPECT_EQ(value("evidence.open"), Json());  // cancelled
    EXPECT_EQ(host.openTitles.back(), "Open Quillmer evidence brief");
    host.fileToOpen = root / "notes.json";
    EXPECT_EQ(error("evidence.open"), "Choose the evidence.json file from an Quillmer export.");
    writeTestFile(root / "broken" / "evidence.json", "not json");
    host.fileToOpen = root / "broken" / "evidence.json";
    EXPECT_EQ(error("evidence.open"), "This file is not a readable Quillmer evidence brief.");

    const auto exportFolder = exportedSession();
    engine().newSession();
    host.fileToOpen = exportFolder / "evidence.json";
    const Json bundle = value("evidence.open");
    EXPECT_EQ(bridge().openBundles().at(bundle["id"]), exportFolder);
    EXPECT_EQ(state().lastExportDirectory, exportFolder);
    EXPECT_EQ(state().lastSessionDirectory->filename(), exportFolder.filename());
}

TEST_F(BridgeTest, ReviewDecisionsBecomeABriefAndAHandoffPrompt) {
    const char* const notOpen = "This evidence brief is no longer open. Open it again before making a review decision.";
    EXPECT_EQ(error("review.save", {"old-bundle", Json::array(), Json::object(), Json::array()}), notOpen);
    const auto exportFolder = exportedSession();
    host.fileToOpen = exportFolder / "evidence.json";
    const std::string bundle = value("evidence.open")["id"];

    writeGroundedExport(exportFolder);
    const std::string item = kGroundedB;
    EXPECT_EQ(error("review.createHandoff", {bundle, Json::array(), Json::object(), Json::array()}),
              "This export has no grounded feedback to hand off.");
    const Json edits = {{item, {{"component", "Save button"}, {"requestedChange", "Make it blue"}}}};
    EXPECT_EQ(value("review.createHandoff", {bundle, {item, "unknown"}, edits, {item}}), Json({{"itemCount", 1}}));
    const auto brief = readWholeFile(exportFolder / "implementation-brief.md");
    EXPECT_NE(brief.find("## 1. Save button \u00B7 00:01.00"), std::string::npos);
    EXPECT_EQ(value("evidence.open")["implementationBrief"], brief);  // the page shows it
    EXPECT_EQ(value("review.copyHandoff", {bundle}), Json());
    EXPECT_EQ(host.copied.back(), "Implement the evidence-grounded Quillmer brief at " +
                                      (exportFolder / "implementation-brief.md").string() +
                                      ". Stay within its requested scope; consult the cited transcript and screens "
                                      "only when clarification is needed.");
}

TEST_F(BridgeTest, DiagnosticsExportWritesAPrivateRecordOrReportsACancel) {
    EXPECT_EQ(value("diagnostics.export"), false);
    EXPECT_EQ(host.saveTitles.back(), "Export Quillmer diagnostics");
    EXPECT_EQ(host.lastSuggestedName.rfind("quillmer-diagnostics-", 0), 0u);
    host.fileToSave = root / "diagnostics.json";
    EXPECT_EQ(value("diagnostics.export"), true);
    struct stat info {};
    ASSERT_EQ(::stat(host.fileToSave->c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(parseJSON(readWholeFile(*host.fileToSave))["platform"], "Linux");
}

}  // namespace
}  // namespace quillmer::testing
