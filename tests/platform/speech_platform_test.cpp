#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <stop_token>

#include "core/atomic_file.h"
#include "core/error.h"
#include "platform/linux/ffmpeg_audio_track_reader.h"
#include "platform/linux/pocketsphinx_speech_recognizer.h"
#include "platform/linux/speech_wav_file.h"
#include "support/speech_media.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

using testing::TemporaryFolder;
using testing::writeTestFile;

int peak(const std::vector<int16_t>& samples, size_t from, size_t to) {
    int loudest = 0;
    for (size_t i = from; i < std::min(to, samples.size()); ++i) loudest = std::max(loudest, std::abs(int{samples[i]}));
    return loudest;
}

TEST(SpeechWav, RoundTripsAndRefusesOtherForms) {
    TemporaryFolder folder;
    const std::vector<int16_t> samples{0, 1, -1, 32767, -32768};
    writeSpeechWav(folder / "a.wav", samples);
    EXPECT_EQ(readSpeechWav(folder / "a.wav"), samples);

    // A data chunk that claims more than the file holds yields what is there.
    std::string truncated = readWholeFile(folder / "a.wav");
    truncated.resize(truncated.size() - 3);
    writeTestFile(folder / "t.wav", truncated);
    EXPECT_EQ(readSpeechWav(folder / "t.wav"), (std::vector<int16_t>{0, 1, -1}));

    for (const std::string& bytes : {std::string(), std::string("RIFF\x04\0\0\0WAVE", 12), std::string("not a wav file at all"),
                                    std::string("RIFF\xFF\xFF\xFF\xFFWAVEdata\xFF\xFF\xFF\xFF", 20)}) {
        writeTestFile(folder / "bad.wav", bytes);
        EXPECT_THROW(readSpeechWav(folder / "bad.wav"), DecodingError);
    }
    testing::runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "sine=d=0.1:r=44100", (folder / "cd.wav").string()});
    EXPECT_THROW(readSpeechWav(folder / "cd.wav"), DecodingError);  // 44.1 kHz
}

TEST(FFmpegAudioTrack, ChunksLineUpWithTheTrackClock) {
    TemporaryFolder folder;
    const auto track = folder / "track.m4a";
    // Silence, then a tone from 60 s to 62 s, then silence to 120 s.
    testing::runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "sine=f=440:d=120:r=48000", "-af",
                                "volume=enable='not(between(t,60,62))':volume=0", "-ac", "2", "-c:a", "aac",
                                track.string()});
    FFmpegAudioTrackReaderFactory factory;
    const auto reader = factory.open(track);
    EXPECT_NEAR(reader->durationSeconds(), 120.0, 0.05);

    reader->exportChunk(0, 55, folder / "0.wav");
    reader->exportChunk(55, 55, folder / "55.wav");
    reader->exportChunk(110, 10, folder / "110.wav");
    const auto first = readSpeechWav(folder / "0.wav");
    const auto second = readSpeechWav(folder / "55.wav");
    const auto last = readSpeechWav(folder / "110.wav");
    EXPECT_EQ(first.size(), 55u * kSpeechSampleRate);
    EXPECT_EQ(second.size(), 55u * kSpeechSampleRate);
    EXPECT_NEAR(static_cast<double>(last.size()), 10.0 * kSpeechSampleRate, 0.05 * kSpeechSampleRate);

    // The tone sits 5 s into the second chunk, give or take the encoder's few milliseconds.
    constexpr size_t k = kSpeechSampleRate;
    EXPECT_LT(peak(first, 0, first.size()), 100);
    EXPECT_LT(peak(second, 0, 5 * k - k / 20), 100);
    EXPECT_GT(peak(second, 5 * k + k / 20, 7 * k - k / 20), 1000);
    EXPECT_LT(peak(second, 7 * k + k / 20, second.size()), 100);

    // Going back decodes from the start again and gives the same samples.
    reader->exportChunk(55, 55, folder / "again.wav");
    EXPECT_EQ(readSpeechWav(folder / "again.wav"), second);
}

TEST(FFmpegAudioTrack, FilesWithoutAudioAreErrors) {
    TemporaryFolder folder;
    writeTestFile(folder / "noise.m4a", std::string(4096, '\x5A'));
    FFmpegAudioTrackReaderFactory factory;
    EXPECT_THROW(factory.open(folder / "noise.m4a"), Error);
    EXPECT_THROW(factory.open(folder / "missing.m4a"), Error);
}

TEST(PocketSphinxModels, LocalesMapToInstalledModelFolders) {
    PocketSphinxRecognizerProvider provider;
    EXPECT_EQ(provider.modelStatus("en-US"), SpeechModelStatus::installed);
    EXPECT_EQ(provider.modelStatus("en_us"), SpeechModelStatus::installed);
    EXPECT_EQ(provider.modelStatus("fr-FR"), SpeechModelStatus::notInstalled);
    EXPECT_EQ(provider.modelStatus("en"), SpeechModelStatus::notInstalled);
    for (const char* invalid : {"", "../en-us", "en-us/..", "e", "en--us", "1a-US", "en-US.UTF-8", "en-toolongsubtag"})
        EXPECT_EQ(provider.modelStatus(invalid), SpeechModelStatus::invalidLocale) << invalid;
    EXPECT_EQ(provider.makeRecognizer("fr-FR"), nullptr);
}

// Damaged copies of the installed model. PocketSphinx calls exit() on the first two: this test
// still running afterwards is half of what it checks.
TEST(PocketSphinxModels, ADamagedModelIsNotInstalledAndNeverEndsTheProcess) {
    namespace fs = std::filesystem;
    const fs::path installed = fs::path(kPocketSphinxModelRoot) / "en-us";
    const struct {
        const char* name;
        std::function<void(const fs::path& model)> damage;
        SpeechModelStatus status;
    } cases[] = {
        {"intact copy", [](const fs::path&) {}, SpeechModelStatus::installed},
        {"text in the binary mdef", [](const fs::path& m) { writeTestFile(m / "en-us/mdef", "garbage\n"); }, SpeechModelStatus::notInstalled},
        {"truncated sendump", [](const fs::path& m) { fs::resize_file(m / "en-us/sendump", 100); }, SpeechModelStatus::notInstalled},
        {"truncated mdef", [](const fs::path& m) { fs::resize_file(m / "en-us/mdef", 1000); }, SpeechModelStatus::notInstalled},
        {"no dictionary", [](const fs::path& m) { fs::remove(m / "cmudict-en-us.dict"); }, SpeechModelStatus::notInstalled},
        {"unreadable means", [](const fs::path& m) { fs::permissions(m / "en-us/means", fs::perms::none); },
         ::geteuid() == 0 ? SpeechModelStatus::installed : SpeechModelStatus::unreadable},  // root reads everything
    };
    for (const auto& c : cases) {
        TemporaryFolder root;
        fs::create_directories(root / "en-us/en-us");
        fs::copy(installed / "en-us", root / "en-us/en-us", fs::copy_options::recursive);
        for (const char* large : {"en-us.lm.bin", "cmudict-en-us.dict"}) fs::create_symlink(installed / large, root / "en-us" / large);
        c.damage(root / "en-us");
        PocketSphinxRecognizerProvider provider(root.path());
        EXPECT_EQ(provider.modelStatus("en-US"), c.status) << c.name;
        EXPECT_EQ(provider.makeRecognizer("en-US") != nullptr, c.status == SpeechModelStatus::installed) << c.name;
    }
}

TEST(PocketSphinxRecognizer, SpeechGivesTimedWordsSilenceNoneAndStopCancels) {
    TemporaryFolder folder;
    PocketSphinxRecognizerProvider provider;
    const auto recognizer = provider.makeRecognizer("en-US");
    ASSERT_NE(recognizer, nullptr);

    writeSpeechWav(folder / "silence.wav", std::vector<int16_t>(3 * kSpeechSampleRate, 0));
    EXPECT_TRUE(recognizer->recognize(folder / "silence.wav", {}).empty());

    const double spoken = testing::speak("you need to fix the header", folder / "speech.wav");
    testing::makeAudioTrack(folder / "speech.m4a", {{1.0, folder / "speech.wav"}}, 5.0);
    FFmpegAudioTrackReaderFactory factory;
    factory.open(folder / "speech.m4a")->exportChunk(0, 5, folder / "chunk.wav");
    const auto pieces = recognizer->recognize(folder / "chunk.wav", {});
    std::string heard;
    for (const auto& piece : pieces) {
        heard += (heard.empty() ? "" : " ") + piece.text;
        EXPECT_GE(piece.timestamp, 1.0);
        EXPECT_LE(piece.timestamp + piece.duration, 1.0 + spoken);
        EXPECT_GT(piece.duration, 0);
        EXPECT_GE(piece.confidence, 0.0);
        EXPECT_LE(piece.confidence, 1.0);
    }
    EXPECT_EQ(heard, "you need to fix the header") << "no fillers, no pronunciation variants";
    EXPECT_TRUE(std::is_sorted(pieces.begin(), pieces.end(), [](const auto& a, const auto& b) { return a.timestamp < b.timestamp; }));

    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(recognizer->recognize(folder / "chunk.wav", stop.get_token()), CancellationError);
    // The recognizer is usable again after a cancelled file.
    EXPECT_EQ(recognizer->recognize(folder / "chunk.wav", {}).size(), pieces.size());
}

}  // namespace
}  // namespace quillmer
