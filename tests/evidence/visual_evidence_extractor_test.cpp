#include "evidence/visual_evidence_extractor.h"

#include <gtest/gtest.h>

#include "core/atomic_file.h"
#include "evidence/evidence_extraction_error.h"
#include "evidence/fake_media.h"
#include "support/test_sessions.h"
#include "support/temporary_folder.h"
#include "support/thrown.h"

namespace quillmer {
namespace {

// A capture whose video times are unknown, so every moment lies on its video.
LocalSessionManifest captured() { return testing::recordedManifest(*parseISO8601("2026-05-04T09:30:12Z"), false); }

using testing::SpokenLine;

class VisualEvidenceExtractorTest : public ::testing::Test {
protected:
    VisualEvidenceCandidateBundle run(const std::filesystem::path& session, std::stop_token stop = {}) {
        return VisualEvidenceExtractor(videos, renderer).extract(session, stop);
    }

    // A session with three moments, at 5, 40 and 80 seconds.
    std::filesystem::path threeMoments() {
        const std::vector<SpokenLine> lines = {{5, 2, "Remove the banner"}, {40, 2, "Hide the footer"}, {80, 2, "Move the chart"}};
        return testing::writeTestSession(root.path(), captured(), {.spoken = lines});
    }
    static long framesOnDisk(const std::filesystem::path& session) {
        return std::distance(std::filesystem::directory_iterator(session / "frames"), {});
    }
    static RasterImage black() { return testing::solidFrame(64, 36, opaquePixel(0, 0, 0)); }

    testing::TemporaryFolder root;
    testing::FakeVideo videos{[](double) { return testing::solidFrame(256, 144, opaquePixel(40, 40, 40)); }};
    CairoFrameImageRenderer renderer;
};

TEST_F(VisualEvidenceExtractorTest, MomentsOnTheVideoWindowBecomeCandidates) {
    auto manifest = captured();
    manifest.firstVideoPTSSeconds = 100.0;
    manifest.lastVideoPTSSeconds = 200.0;
    const std::vector<SpokenLine> lines = {
        {90, 2, "Remove the old logo"},            // before the first frame: skipped
        {101, 2, "You need to fix the header"},    // 1 s after the start: the window starts at the video
        {110, 3, "and the footer"},                // context only (inside 18 s, not a moment)
        {130, 2, "Please make this bigger"},       // an ordinary moment
        {149.5, 1, "unrelated chatter"},           // 18 s after the end of 130..132 is 150: inside
        {150.5, 1, "more chatter"},                // outside
        {199.5, 2, "Hide the sidebar"},            // the window ends at the last frame
        {230, 2, "Move the chart"},                // after the last frame: skipped
    };
    const auto session = testing::writeTestSession(root.path(), manifest, {.spoken = lines});
    const auto bundle = run(session);

    ASSERT_EQ(bundle.candidates.size(), 3u);
    const auto& first = bundle.candidates[0];
    EXPECT_EQ(first.rangeStartSeconds, 100.0);
    EXPECT_EQ(first.rangeEndSeconds, 102.0);
    EXPECT_EQ(first.trigger, "need");
    EXPECT_EQ(first.transcriptContext, "Remove the old logo You need to fix the header and the footer");
    EXPECT_EQ(bundle.candidates[1].rangeStartSeconds, 128.0);
    EXPECT_EQ(bundle.candidates[1].transcriptContext,
              "and the footer Please make this bigger unrelated chatter");
    EXPECT_EQ(bundle.candidates[2].rangeEndSeconds, 200.0);
    EXPECT_EQ(bundle.candidates[2].trigger, "hide");

    // Frames are asked for on the video's own timeline, three per candidate, from one open video.
    EXPECT_EQ(videos.opened, (std::vector<std::filesystem::path>{session / "screen.mp4"}));
    EXPECT_EQ(videos.requested, (std::vector<double>{0, 1, 2, 28, 30, 31, 97.5, 99.5, 100}));
    for (const auto& candidate : bundle.candidates) {
        ASSERT_EQ(candidate.frameFiles.size(), 3u);
        EXPECT_EQ(candidate.frameFiles[0], "frames/" + candidate.id.toString() + "-0.png");
        for (const auto& file : candidate.frameFiles) EXPECT_TRUE(std::filesystem::exists(session / file)) << file;
    }

    // The file on disk is the bundle returned, and the manifest names it.
    EXPECT_EQ(readCandidateBundle(session / kCandidateFileName), bundle);
    EXPECT_EQ(readManifest(session).candidateFile, "evidence-candidates.json");
    const std::string text = readWholeFile(session / kCandidateFileName);
    EXPECT_LT(text.find("\"candidates\""), text.find("\"createdAt\""));
    EXPECT_NE(text.find("frames\\/"), std::string::npos);
    EXPECT_EQ(text.find("visualAnchor"), std::string::npos);
}

TEST_F(VisualEvidenceExtractorTest, NoMomentsWritesAnEmptyListWithoutOpeningTheVideo) {
    const std::vector<SpokenLine> lines = {{5, 2, "Thanks, that's it"}};
    const auto session = testing::writeTestSession(root.path(), captured(), {.spoken = lines});
    const auto bundle = run(session);
    EXPECT_TRUE(bundle.candidates.empty());
    EXPECT_TRUE(videos.opened.empty());
    EXPECT_TRUE(std::filesystem::is_directory(session / "frames"));
    EXPECT_EQ(readCandidateBundle(session / kCandidateFileName).candidates.size(), 0u);
}

// Files are written on a worker while the next candidate's frames are read; the outcome must be
// that of doing one candidate after the other.
TEST_F(VisualEvidenceExtractorTest, AFailedWriteEndsTheRunInCandidateOrder) {
    const auto session = threeMoments();
    testing::FakeVideo endsEarly([](double t) {
        if (t > 60) throw MediaError("The video ends early.");
        return black();
    });
    // A later candidate's unreadable frame does not hide the earlier candidate's failed write.
    for (VideoFrameReaderFactory* video : std::initializer_list<VideoFrameReaderFactory*>{&videos, &endsEarly}) {
        std::filesystem::remove_all(session / "frames");
        testing::EncoderFailingRenderer failsOnTheSecondCandidate(3);
        EXPECT_EQ(testing::thrown<EvidenceExtractionError>([&] {
                      VisualEvidenceExtractor(*video, failsOnTheSecondCandidate).extract(session);
                  }).value().kind(),
                  EvidenceExtractionErrorCase::frameEncoding);
        EXPECT_EQ(framesOnDisk(session), 3);  // the first candidate's, none of the later ones
    }
    // An unreadable frame after good candidates still leaves all of their files.
    std::filesystem::remove_all(session / "frames");
    EXPECT_THROW(VisualEvidenceExtractor(endsEarly, renderer).extract(session), MediaError);
    EXPECT_EQ(framesOnDisk(session), 6);
    EXPECT_FALSE(std::filesystem::exists(session / kCandidateFileName));
    EXPECT_FALSE(readManifest(session).candidateFile);
}

TEST_F(VisualEvidenceExtractorTest, CancellationMidwayKeepsEveryFileOfTheCandidatesRead) {
    const auto session = threeMoments();
    std::stop_source stop;
    testing::FakeVideo cancelling([&stop](double t) {
        if (t == 40) stop.request_stop();  // while the second candidate is read
        return black();
    });
    EXPECT_THROW(VisualEvidenceExtractor(cancelling, renderer).extract(session, stop.get_token()), CancellationError);
    EXPECT_EQ(cancelling.requested, (std::vector<double>{3, 5, 6, 38, 40, 41}));
    EXPECT_EQ(framesOnDisk(session), 6);
    for (const auto& entry : std::filesystem::directory_iterator(session / "frames"))
        EXPECT_EQ(entry.path().extension(), ".png") << entry.path();  // no temporary file left behind
    EXPECT_FALSE(std::filesystem::exists(session / kCandidateFileName));
}

TEST_F(VisualEvidenceExtractorTest, MissingOrUnreadableInputsWriteNothing) {
    const auto session = testing::writeTestSession(root.path(), captured());
    const auto missing = testing::thrown<EvidenceExtractionError>([&] { run(session); }).value();
    EXPECT_EQ(missing.kind(), EvidenceExtractionErrorCase::missingTranscript);
    EXPECT_STREQ(missing.what(), "Transcribe this session before generating visual evidence.");
    updateManifest(session, [](LocalSessionManifest& m) { m.transcriptFile = "transcript.json"; });
    EXPECT_THROW(run(session), FileSystemError);
    testing::writeTestFile(session / "transcript.json", "{\"segments\": 3}");
    EXPECT_THROW(run(session), DecodingError);
    testing::writeTestFile(session / "frames", "a file where the folder goes");
    writeFileAtomically(session / "transcript.json", encodeJSON(testing::transcriptWith({}).toJSON()));
    EXPECT_THROW(run(session), FileSystemError);
    EXPECT_FALSE(std::filesystem::exists(session / kCandidateFileName));
    EXPECT_FALSE(readManifest(session).candidateFile);
}

// A video that really ends before its manifest says: a moment whose frames lie past the last
// picture is left out rather than shown with that picture, and the moments before it stay.
TEST_F(VisualEvidenceExtractorTest, MomentsPastTheLastPictureAreLeftOut) {
    const auto session = threeMoments();
    testing::FakeVideo endsAt41([](double t) {
        if (t > 41) throw FrameBeyondEndError("The video ends before that.");
        return black();
    });
    const auto bundle = VisualEvidenceExtractor(endsAt41, renderer).extract(session);
    ASSERT_EQ(bundle.candidates.size(), 2u);
    EXPECT_EQ(bundle.candidates[1].trigger, "hide");
    EXPECT_EQ(readCandidateBundle(session / kCandidateFileName), bundle);
}

}  // namespace
}  // namespace quillmer
