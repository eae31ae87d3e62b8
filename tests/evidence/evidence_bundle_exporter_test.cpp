#include "evidence/evidence_bundle_exporter.h"

#include <gtest/gtest.h>

#include <functional>

#include "core/atomic_file.h"
#include "core/sha256.h"
#include "evidence/evidence_export_error.h"
#include "evidence/evidence_markdown.h"
#include "support/test_sessions.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

// A capture whose video times are unknown, so every moment lies on its video.
LocalSessionManifest captured() { return testing::recordedManifest(*parseISO8601("2026-05-04T09:30:12Z"), false); }

namespace fs = std::filesystem;
using testing::SpokenLine;

class EvidenceBundleExporterTest : public ::testing::Test {
protected:
    // A session that went through extraction: a transcript, two candidates (the second with an
    // anchor) and their frames.
    fs::path extractedSession(const LocalSessionManifest& manifest, bool withCandidates = true) {
        const std::vector<SpokenLine> lines = {{10, 2, "Please fix this"}};
        const auto session = testing::writeTestSession(sessions.path(), manifest, {.spoken = lines});
        VisualEvidenceCandidateBundle bundle;
        for (int c = 0; withCandidates && c < 2; ++c) {
            bundle.candidates.push_back({Uuid::random(), 8.0 + 60 * c, 11.0 + 60 * c, "this", "Please fix this", {},
                                         c == 1 ? std::optional(VisualChangeAnchor{0.25, 0.5, 0.125, 0.0625}) : std::nullopt});
            for (int n = 0; n < 3; ++n) {
                const std::string name = bundle.candidates.back().id.toString() + "-" + std::to_string(n) + ".png";
                testing::writeTestFile(session / "frames" / name, "png bytes " + name);
                bundle.candidates.back().frameFiles.push_back("frames/" + name);
            }
        }
        writeFileAtomically(session / kCandidateFileName, encodeJSON(bundle.toJSON()));
        updateManifest(session, [](LocalSessionManifest& m) { m.candidateFile = kCandidateFileName; });
        return session;
    }

    std::vector<std::string> exportRootEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(exports.path())) names.push_back(entry.path().filename());
        return names;
    }

    // The text an export that must fail ends with; it may leave nothing new in the export root.
    std::string failureText(const fs::path& session, std::stop_token stop = {}) {
        const auto before = exportRootEntries();
        try {
            EvidenceBundleExporter(exports.path()).exportSession(session, stop);
            ADD_FAILURE() << "exported";
        } catch (const std::exception& error) {
            EXPECT_EQ(exportRootEntries(), before);
            return error.what();
        }
        return {};
    }

    void rewriteCandidates(const fs::path& session, const std::function<void(VisualEvidenceCandidateBundle&)>& change) {
        auto bundle = readCandidateBundle(session / kCandidateFileName);
        change(bundle);
        writeFileAtomically(session / kCandidateFileName, encodeJSON(bundle.toJSON()));
    }

    testing::TemporaryFolder sessions;
    testing::TemporaryFolder exports;
};

TEST_F(EvidenceBundleExporterTest, CopiesEveryFileWithItsDigest) {
    auto manifest = captured();
    manifest.firstVideoPTSSeconds = 3.5;
    manifest.lastVideoPTSSeconds = 90.25;
    manifest.endedAt = *parseISO8601("2026-05-04T09:45:00Z");
    manifest.repository = RepositorySnapshot{"/work/app", "0123456789abcdef0123456789abcdef01234567", "main"};
    const auto session = extractedSession(manifest);

    const auto result = EvidenceBundleExporter(exports.path()).exportSession(session);
    EXPECT_EQ(result.directory, exports / manifest.id.toString());
    EXPECT_EQ(exportRootEntries(), (std::vector<std::string>{manifest.id.toString()}));  // no hidden folder left
    const auto& document = result.document;
    const auto copied = [&](const std::string& path) {
        const std::string bytes = readWholeFile(result.directory / path);
        return EvidenceBundleDocument::Artifact{path, sha256Hex(bytes), static_cast<int64_t>(bytes.size())};
    };
    EXPECT_EQ(document.session, (EvidenceBundleDocument::Session{manifest.id, manifest.createdAt, manifest.endedAt,
                                                                 {1280, 720}, {{3.5, 90.25}}, copied("transcript.json"),
                                                                 manifest.repository}));
    EXPECT_EQ(readWholeFile(result.directory / "transcript.json"), readWholeFile(session / "transcript.json"));
    const auto stored = readCandidateBundle(session / kCandidateFileName);
    ASSERT_EQ(document.candidates.size(), 2u);
    for (size_t c = 0; c < 2; ++c) {
        const auto& candidate = document.candidates[c];
        EXPECT_EQ(candidate.id, stored.candidates[c].id);
        EXPECT_EQ(candidate.visualAnchor, stored.candidates[c].visualAnchor);
        ASSERT_EQ(candidate.frames.size(), 3u);
        for (size_t n = 0; n < 3; ++n) EXPECT_EQ(candidate.frames[n], copied(stored.candidates[c].frameFiles[n]));
    }
    // Both files on disk describe the same bundle.
    EXPECT_EQ(EvidenceBundleDocument::fromJSON(parseJSON(readWholeFile(result.directory / "evidence.json"))), document);
    EXPECT_EQ(readWholeFile(result.directory / "evidence.md"), markdown(document));
}

TEST_F(EvidenceBundleExporterTest, NoCandidatesAndNoVideoRange) {
    auto manifest = captured();
    manifest.firstVideoPTSSeconds = 3.5;  // no last PTS: no range
    const auto result = EvidenceBundleExporter(exports.path()).exportSession(extractedSession(manifest, false));
    EXPECT_TRUE(result.document.candidates.empty());
    const std::string json = readWholeFile(result.directory / "evidence.json");
    EXPECT_EQ(json.find("videoRangeSeconds"), std::string::npos);
    EXPECT_NE(json.find("\"candidates\" : []"), std::string::npos);
    const std::string md = readWholeFile(result.directory / "evidence.md");
    EXPECT_TRUE(md.ends_with("SHA-256 `" + result.document.session.transcript.sha256 +
                             "`\n\nNo deictic-feedback candidates were found.\n"));
    EXPECT_TRUE(fs::is_directory(result.directory / "frames"));
}

TEST_F(EvidenceBundleExporterTest, MissingRecordsFilesAndEscapesFailWithTheirText) {
    const auto bare = testing::writeTestSession(sessions.path(), captured());
    EXPECT_EQ(failureText(bare), "Find visual evidence before exporting a brief.");
    updateManifest(bare, [](LocalSessionManifest& m) { m.candidateFile = kCandidateFileName; });
    EXPECT_EQ(failureText(bare), "Transcribe this session before exporting a brief.");

    testing::writeTestFile(sessions / "secret.png", "not part of the session");
    // Each spoils a freshly extracted session and gives the text the export must fail with.
    const std::vector<std::function<std::string(const fs::path&)>> spoilers = {
        [](const fs::path& s) {
            fs::remove(s / "transcript.json");
            return "The required session artifact is missing: transcript.json.";
        },
        [&](const fs::path& s) {
            const std::string path = readCandidateBundle(s / kCandidateFileName).candidates[1].frameFiles[2];
            fs::remove(s / path);
            return "The evidence frame is missing: " + path + ".";
        },
        [&](const fs::path& s) {
            rewriteCandidates(s, [](auto& b) { b.candidates[0].frameFiles[0] = "../secret.png"; });
            return "The evidence frame is missing: ../secret.png.";
        },
        [&](const fs::path& s) {  // a link inside the session that leads out of it
            fs::create_symlink(sessions / "secret.png", s / "frames" / "escape.png");
            rewriteCandidates(s, [](auto& b) { b.candidates[0].frameFiles[0] = "frames/escape.png"; });
            return "The evidence frame is missing: frames/escape.png.";
        },
    };
    for (const auto& spoil : spoilers) {
        const auto session = extractedSession(captured());
        const std::string expected = spoil(session);
        EXPECT_EQ(failureText(session), expected);
    }
    const auto undecodable = extractedSession(captured());
    testing::writeTestFile(undecodable / kCandidateFileName, "{\"schemaVersion\": 1}");
    EXPECT_NE(failureText(undecodable), "");

    // A stop before the frames are copied takes the working folder with it.
    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(failureText(extractedSession(captured()), stop.get_token()), CancellationError().what());
}

TEST_F(EvidenceBundleExporterTest, ExistingFoldersAreNeverReplacedOrRemoved) {
    const auto manifest = captured();
    const auto session = extractedSession(manifest);
    const auto first = EvidenceBundleExporter(exports.path()).exportSession(session);
    const std::string firstJSON = readWholeFile(first.directory / "evidence.json");
    EXPECT_EQ(failureText(session), "An export already exists at " + first.directory.string() + ".");
    EXPECT_EQ(readWholeFile(first.directory / "evidence.json"), firstJSON);

    // A working folder left by an interrupted export is an error, and it stays for a person to look at.
    const auto other = captured();
    const auto leftover = exports / ("." + other.id.toString() + ".exporting");
    fs::create_directory(leftover);
    EXPECT_NE(failureText(extractedSession(other)), "");
    EXPECT_TRUE(fs::is_directory(leftover));
}

TEST(EvidenceMarkdown, ExactText) {
    EvidenceBundleDocument document;
    document.exportedAt = *parseISO8601("2026-05-04T09:30:12Z");
    document.session.id = *Uuid::parse("6F1C2A3B-0D4E-4F5A-9B6C-7D8E9F0A1B2C");
    document.session.displaySize = {1920, 1080};
    document.session.transcript = {"transcript.json", std::string(64, 'a'), 10};
    document.session.repository = RepositorySnapshot{"/src", "abc123", "feature/x"};
    EvidenceBundleDocument::Candidate first;
    first.rangeStartSeconds = 73.5;
    first.rangeEndSeconds = 76.5;
    first.trigger = "need";
    first.transcriptContext = "You need to fix the header";
    first.frames = {{"frames/A-0.png", std::string(64, 'b'), 1}, {"frames/A-1.png", std::string(64, 'c'), 2}};
    EvidenceBundleDocument::Candidate second = first;
    second.rangeStartSeconds = 3723.25;
    second.rangeEndSeconds = 3726.25;
    second.trigger = "this";
    second.transcriptContext = "<!-- hidden --> <img src=x onerror=y> & so\n# on";
    second.frames.resize(1);
    document.candidates = {first, second};

    const std::string b64(64, 'b'), c64(64, 'c');
    EXPECT_EQ(markdown(document),
              "# Quillmer evidence brief\n\n"
              "This is candidate evidence, not an inferred summary. Review or model analysis must cite the transcript "
              "context and frames below.\n\n"
              "- Exported: 2026-05-04T09:30:12Z\n"
              "- Session: `6F1C2A3B-0D4E-4F5A-9B6C-7D8E9F0A1B2C`\n"
              "- Display: 1920 \u00D7 1080\n"
              "- Repository: `abc123` \u00B7 feature/x\n"
              "- [Complete timestamped transcript](transcript.json) \u00B7 SHA-256 `" + std::string(64, 'a') + "`\n"
              "\n"
              "## 1. 01:13.50\u201301:16.50 \u00B7 trigger: need\n\n"
              "> You need to fix the header\n\n"
              "Evidence frames:\n"
              "- [frames/A-0.png](frames/A-0.png) \u00B7 SHA-256 `" + b64 + "`\n"
              "- [frames/A-1.png](frames/A-1.png) \u00B7 SHA-256 `" + c64 + "`\n"
              "\n"
              "## 2. 62:03.25\u201362:06.25 \u00B7 trigger: this\n\n"
              "> &lt;!-- hidden --&gt; &lt;img src=x onerror=y&gt; &amp; so # on\n\n"
              "Evidence frames:\n"
              "- [frames/A-0.png](frames/A-0.png) \u00B7 SHA-256 `" + b64 + "`\n");

    document.session.repository->branch.reset();
    EXPECT_NE(markdown(document).find("- Repository: `abc123`\n"), std::string::npos);
    document.session.repository.reset();
    EXPECT_EQ(markdown(document).find("Repository"), std::string::npos);
}

}  // namespace
}  // namespace quillmer
