#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <stop_token>

#include "core/error.h"
#include "platform/linux/ffmpeg_audio_track_reader.h"
#include "platform/linux/pocketsphinx_speech_recognizer.h"
#include "support/speech_media.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;
using testing::writeTestFile;

// Chunk timing on the track clock is checked by the on-device transcription test.
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
    const fs::path installed = fs::path(kPocketSphinxModelRoot) / "en-us";
    const struct {
        const char* name;
        std::function<void(const fs::path& model)> damage;
        SpeechModelStatus status;
    } cases[] = {
        {"text in the binary mdef", [](const fs::path& m) { writeTestFile(m / "en-us/mdef", "garbage\n"); }, SpeechModelStatus::notInstalled},
        {"truncated sendump", [](const fs::path& m) { fs::resize_file(m / "en-us/sendump", 100); }, SpeechModelStatus::notInstalled},
        {"no dictionary", [](const fs::path& m) { fs::remove(m / "cmudict-en-us.dict"); }, SpeechModelStatus::notInstalled},
        {"unreadable means", [](const fs::path& m) { fs::permissions(m / "en-us/means", fs::perms::none); },
         ::geteuid() == 0 ? SpeechModelStatus::installed : SpeechModelStatus::unreadable},  // root reads everything
        {"intact copy", [](const fs::path&) {}, SpeechModelStatus::installed},
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

// Words, their timing and the quiet parts are checked through the transcriber's own test; here
// what only the recognizer does: cancelling a file midway leaves it usable.
TEST(PocketSphinxRecognizer, AStoppedFileThrowsAndTheNextFileIsRecognized) {
    TemporaryFolder folder;
    const auto recognizer = PocketSphinxRecognizerProvider().makeRecognizer("en-US");
    ASSERT_NE(recognizer, nullptr);
    testing::speak("you need to fix the header", folder / "speech.wav");  // already 16 kHz mono
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(recognizer->recognize(folder / "speech.wav", stop.get_token()), CancellationError);
    std::string heard;
    for (const auto& piece : recognizer->recognize(folder / "speech.wav", {})) heard += piece.text + " ";
    EXPECT_EQ(heard, "you need to fix the header ");
}

}  // namespace
}  // namespace quillmer
