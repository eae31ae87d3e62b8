#include <gtest/gtest.h>

#include <utility>

#include "app/readiness/capture_pill_hooks.h"
#include "platform/linux/x11_active_window.h"
#include "support/private_x_server.h"
#include "support/x11_test_windows.h"

namespace quillmer {
namespace {

// Writes down what the pill would show.
class RecordingPillView final : public CapturePillView {
public:
    void showPill(const PillContent& content) override {
        if (content.kind == PillKind::recording) events.push_back("recording");
        if (content.kind == PillKind::postCapture) events.push_back("ready");
        if (content.kind == PillKind::meetingPrompt) events.push_back(std::string("prompt ") + displayName(content.surface));
    }
    void hidePanel() override { events.push_back("hide"); }
    void installStatusItem() override { events.push_back("tray on"); }
    void removeStatusItem() override { events.push_back("tray off"); }
    std::vector<std::string> take() { return std::exchange(events, {}); }

    std::vector<std::string> events;
};

using Shown = std::vector<std::string>;

// Real windows of the mapped classes in a private X server, read back through the X11 source.
class ReadinessTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!testing::PrivateXServer::unavailableReason()) display = new testing::PrivateXServer();
    }
    static void TearDownTestSuite() {
        delete display;
        display = nullptr;
    }
    void SetUp() override {
        if (auto reason = testing::PrivateXServer::unavailableReason()) GTEST_SKIP() << *reason;
        windows = std::make_unique<testing::X11TestWindows>();
        source = X11ActiveWindowSource::connect();
        ASSERT_TRUE(source);
        meeting = std::make_unique<MeetingReadiness>(source.get(), true);
        hooks = std::make_unique<CapturePillHooks>(pill, *meeting, engine);
        view.take();
    }
    // Brings the window forward and lets readiness notice; returns what the pill did.
    Shown switchTo(const char* instance, const char* className, const char* title = "") {
        if (instance) windows->activate(instance, className, title);
        else windows->deactivate();
        meeting->refresh();
        return view.take();
    }

    static inline testing::PrivateXServer* display = nullptr;
    std::unique_ptr<testing::X11TestWindows> windows;
    std::unique_ptr<X11ActiveWindowSource> source;
    RecordingPillView view;
    CapturePillController pill{view, false};
    CaptureEngineState engine;
    std::unique_ptr<MeetingReadiness> meeting;
    std::unique_ptr<CapturePillHooks> hooks;
};

TEST_F(ReadinessTest, EachMeetingApplicationIsOfferedOncePerRunAndBrowsersNever) {
    struct Step {
        const char* instance;
        const char* className;
        const char* title;
        Shown shown;
        MeetingSurface surface;
        std::string name;
    };
    using S = MeetingSurface;
    const Step steps[] = {
        {"zoom", "zoom", "Zoom Meeting", {"prompt Zoom"}, S::zoom, "zoom"},
        {"Navigator", "firefox", "Zoom - Mozilla Firefox", {"hide"}, S::browser, "firefox"},
        {"zoom", "", "Zoom Meeting", {}, S::zoom, "Zoom"},
        {"teams-for-linux", "teams-for-linux", "", {"prompt Microsoft Teams"}, S::teams, "teams-for-linux"},
        {"gimp", "Gimp-2.10", "untitled", {"hide"}, S::unknown, "Gimp-2.10"},
        {"microsoft teams - preview", "Microsoft Teams - Preview", "", {}, S::teams, "Microsoft Teams - Preview"},
        {"crx_cifhbcnohmdccbgoicgdjpfamggdegmo", "Google-chrome", "Stand-up | Webex", {"prompt Webex"}, S::webex,
         "Google-chrome"},
        {"google-chrome", "Google-chrome", "Slack - Google Chrome", {"hide"}, S::browser, "Google-chrome"},
        {"navigator", "", "", {}, S::browser, "Browser"},
        {"slack", "Slack", "", {"prompt Slack"}, S::slack, "Slack"},
        {"", "", "untitled", {"hide"}, S::unknown, kNoMeetingApplication},
        {nullptr, nullptr, nullptr, {}, S::unknown, kNoMeetingApplication},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.instance ? step.instance : "no active window");
        EXPECT_EQ(switchTo(step.instance, step.className, step.title), step.shown);
        EXPECT_EQ(meeting->surface(), step.surface);
        EXPECT_EQ(meeting->applicationName(), step.name);
    }
}

TEST_F(ReadinessTest, SwitchingWindowsWhileRecordingTakesThePillDownAndConsumesNoPrompt) {
    engine.isCapturing = true;
    hooks->engineChanged(engine);
    EXPECT_EQ(view.take(), (Shown{"recording", "tray on"}));
    EXPECT_EQ(switchTo("zoom", "zoom"), (Shown{"hide", "tray off"}));
    engine.isCapturing = false;
    hooks->engineChanged(engine);
    switchTo("Navigator", "firefox");
    EXPECT_EQ(switchTo("zoom", "zoom"), Shown{"prompt Zoom"});
}

TEST(CapturePillLayout, PlacesThePillTopRightAndCountsWholeSecondsFromTheStart) {
    EXPECT_EQ(pillOrigin({1920, 32, 1280, 688}, pillContentSize(PillKind::postCapture)), (PillOrigin{2954, 54}));
    const Timestamp now = std::chrono::system_clock::now();
    EXPECT_EQ(recordingElapsedText(std::nullopt, now), "00:00");
    EXPECT_EQ(recordingElapsedText(now + std::chrono::seconds(5), now), "00:00") << "a start in the future";
    EXPECT_EQ(recordingElapsedText(now - std::chrono::milliseconds(61900), now), "01:01");
    EXPECT_EQ(recordingElapsedText(now - std::chrono::minutes(75), now), "75:00");
    EXPECT_EQ(recordingAccessibilityLabel("01:01"), "Quillmer is recording this screen. 01:01 elapsed.");
}

}  // namespace
}  // namespace quillmer
