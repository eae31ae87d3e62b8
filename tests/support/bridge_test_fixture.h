#pragma once

#include <sys/stat.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/native_review_bridge.h"
#include "support/engine_test_fixture.h"
#include "capture/local_session_manifest.h"
#include "core/json.h"
#include "platform/linux/json_file_user_defaults.h"

namespace quillmer::testing {

// The page: every reply and state push, decoded.
class FakePage final : public ReviewPageChannel {
public:
    void deliverReply(const std::string& replyJSON) override { replies.push_back(parseJSON(replyJSON)); }
    void deliverState(const std::string& snapshotJSON) override { states.push_back(parseJSON(snapshotJSON)); }

    std::vector<Json> replies;
    std::vector<Json> states;
};

// Panels answer with what the test put here; nullopt is a cancelled panel.
class FakeHost final : public ReviewHostServices {
public:
    std::optional<std::filesystem::path> chooseFileToOpen(const std::string& title,
                                                          const std::vector<std::string>& extensions) override {
        return openTitles.push_back(title), lastExtensions = extensions, fileToOpen;
    }
    std::optional<std::filesystem::path> chooseFileToSave(const std::string& title,
                                                          const std::string& suggestedName) override {
        return saveTitles.push_back(title), lastSuggestedName = suggestedName, fileToSave;
    }
    bool copyText(const std::string& text) override { return copied.push_back(text), clipboardWorks; }

    std::optional<std::filesystem::path> fileToOpen, fileToSave;
    bool clipboardWorks = true;
    std::vector<std::string> openTitles, saveTitles, copied, lastExtensions;
    std::string lastSuggestedName;
};

// A bridge over an engine on fakes, with the test thread as the main thread.
class BridgeTest : public EngineTest {
protected:
    NativeReviewBridge& bridge() {
        if (!bridge_) {
            NativeReviewBridgeDependencies dependencies{engine(), scheme, defaults, host,
                                                        [this] { return root / "Sessions"; }, acceptsPathArguments, nullptr,
                                                        updates};
            dependencies.codingAgents = codingAgents;
            dependencies.mainQueue = &queue;
            dependencies.transcriptionEnvironment = transcriptionEnvironment;
            bridge_ = std::make_unique<NativeReviewBridge>(std::move(dependencies));
            bridge_->attachPage(page);
        }
        return *bridge_;
    }

    void destroyBridge() { bridge_.reset(); }

    // Nothing configured unless a test says so: never this process's relay or keyring.
    RemoteTranscriptionEnvironment transcriptionEnvironment;

    // Sends one message and runs the main loop until its reply arrives.
    Json call(const std::string& method, Json args = Json::array()) {
        const std::string id = "1715000000000-" + std::to_string(++sequence_);
        bridge().handleMessage({{"id", id}, {"method", method}, {"args", std::move(args)}});
        const Json* reply = nullptr;
        queue.runUntil([&] {
            reply = replyFor(id);
            return reply != nullptr;
        });
        return *reply;
    }
    Json value(const std::string& method, Json args = Json::array()) {
        const Json reply = call(method, std::move(args));
        EXPECT_EQ(reply["ok"], true) << reply.dump();
        return reply.value("value", Json());
    }
    std::string error(const std::string& method, Json args = Json::array()) {
        const Json reply = call(method, std::move(args));
        EXPECT_EQ(reply["ok"], false) << reply.dump();
        return reply.value("error", std::string());
    }
    const Json* replyFor(const std::string& id) const {
        for (const auto& reply : page->replies)
            if (reply["id"] == id) return &reply;
        return nullptr;
    }

    // A recorded session with an export holding two frames (one with a space in its name).
    std::filesystem::path exportedSession() {
        const auto folder = recordShortSession();
        const std::string id = folder.filename().string();
        writeTestFile(folder / "transcript.json",
                      R"({"schemaVersion":1,"createdAt":"2026-05-04T09:30:12Z","audioFile":"source-transcript.vtt",)"
                      R"("sourcePTSOffsetSeconds":0,"localeIdentifier":"und","segments":[{"id":)"
                      R"("0B8F3C1A-1111-4000-8000-000000000001","startSeconds":1,"durationSeconds":2,"text":"fix this"}]})");
        writeTestFile(folder / "evidence-candidates.json",
                      R"({"schemaVersion":1,"createdAt":"2026-05-04T09:30:12Z","candidates":[]})");
        auto manifest = readManifest(folder);
        manifest.transcriptFile = "transcript.json";
        manifest.candidateFile = "evidence-candidates.json";
        writeManifest(folder, manifest);
        writeTestFile(folder / "consent.json", R"({"schemaVersion":1})");
        const auto exportFolder = root / "Exports" / id;
        writeTestFile(exportFolder / "frames" / "a b-1.png", "png");
        writeTestFile(exportFolder / "evidence.json",
                      R"({"schemaVersion":1,"session":{"id":")" + id +
                          R"("},"candidates":[{"id":"C1","frames":[{"path":"frames/a b-1.png"},{"path":"frames/c-2.png"}]}]})");
        engine().restoreSession(id);
        return exportFolder;
    }

    JsonFileUserDefaults defaults{root / "defaults.json"};
    TemporaryFolder renderer;  // the page's files, empty unless a test adds some
    ReviewRendererScheme scheme{renderer.path()};
    FakeHost host;
    std::shared_ptr<FakePage> page = std::make_shared<FakePage>();
    bool acceptsPathArguments = false;
    UpdateChecker* updates = nullptr;  // none: the bridge's own, without a feed
    std::optional<CodingAgentConnector> codingAgents;

private:
    std::unique_ptr<NativeReviewBridge> bridge_;
    int sequence_ = 0;
};

}  // namespace quillmer::testing
