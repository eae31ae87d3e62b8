#include "capture/local_session_recorder.h"

#include <chrono>

#include "capture/session_folder.h"

namespace quillmer {

RecorderError::RecorderError(RecorderErrorCase kind)
    : FamilyError(kind, "The local MP4 writer could not accept screen video.") {}

// One audio file, created on its track's first usable sample.
class LocalSessionRecorder::AudioTrackWriter {
public:
    explicit AudioTrackWriter(std::string filename) : filename_(std::move(filename)) {}

    const std::string& filename() const { return filename_; }

    // True when the sample was written.
    bool append(const AudioBuffer& buffer, const std::filesystem::path& directory, MediaWriterFactory& writers) {
        if (!buffer.isValid()) return false;
        if (!writer_) {
            writer_ = writers.makeAudioWriter(directory / filename_, settingsFor(buffer));
            if (!writer_) return false;  // the next sample tries again
        }
        if (!started_) {
            if (!writer_->startWriting()) return false;
            writer_->startSession(buffer.presentationSeconds);
            started_ = true;
        }
        if (!writer_->isReadyForMoreMediaData()) return false;
        return writer_->append(buffer);
    }

    void finish() {
        if (!started_ || !writer_) return;
        writer_->markAsFinished();
        writer_->finishWriting();
    }

private:
    // The file name decides the layout: system audio is stereo at 192 kbit/s, the microphone mono at 96.
    AudioWriterSettings settingsFor(const AudioBuffer& first) const {
        const bool system = filename_.starts_with("system");
        AudioWriterSettings settings;
        settings.sampleRate = 48'000;
        settings.channels = system ? 2 : 1;
        settings.bitRate = system ? 192'000 : 96'000;
        settings.sourceSampleRate = first.sampleRate;
        settings.sourceChannels = first.channels;
        return settings;
    }

    std::string filename_;
    std::unique_ptr<AudioFileWriter> writer_;
    bool started_ = false;
};

LocalSessionRecorder::LocalSessionRecorder(const DisplayDescription& display, const std::filesystem::path& sessionsRoot,
                                           MediaWriterFactory& writers, ProcessRunner& processes,
                                           ManifestWriter writeManifestFile)
    : systemAudio_(std::make_unique<AudioTrackWriter>(kSystemAudioFileName)),
      microphoneAudio_(std::make_unique<AudioTrackWriter>(kMicrophoneAudioFileName)),
      writers_(writers), writeManifestFile_(std::move(writeManifestFile)) {
    const Uuid id = Uuid::random();
    directory_ = createSessionFolder(sessionsRoot, id);
    manifestURL_ = directory_ / kSessionManifestFileName;

    manifest_.id = id;
    // Whole seconds, so the manifest in memory equals the one read back from disk.
    manifest_.createdAt = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    manifest_.displayID = display.displayID;
    manifest_.width = display.width;
    manifest_.height = display.height;
    manifest_.videoFrameCount = 0;
    manifest_.videoFile = kScreenVideoFileName;
    manifest_.repository = RepositorySnapshot::current(processes);
    manifest_.schemaVersion = 1;

    try {
        writer_ = writers.makeVideoWriter(directory_ / kScreenVideoFileName,
                                          VideoWriterSettings{display.width, display.height, 10'000'000});
        if (!writer_) throw RecorderError(RecorderErrorCase::cannotAddVideoInput);
        writeManifestFile_(directory_, manifest_);
    } catch (...) {
        // A recorder that never existed leaves no folder to be mistaken for a meeting.
        writer_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
        throw;
    }
    timingFactsWriter_ = std::make_unique<LatestManifestWriter>(directory_, writeManifestFile_);
}

LocalSessionRecorder::~LocalSessionRecorder() = default;

void LocalSessionRecorder::appendVideo(const VideoFrame& frame) {
    if (!frame.isValid()) return;
    if (!started_) {
        if (!writer_->startWriting()) return;
        writer_->startSession(frame.presentationSeconds);
        manifest_.firstVideoPTSSeconds = frame.presentationSeconds;
        started_ = true;
        persistTimingFacts();
    }
    if (!writer_->isReadyForMoreMediaData() || !writer_->append(frame)) return;  // real-time: drop
    manifest_.videoFrameCount += 1;
    manifest_.lastVideoPTSSeconds = frame.presentationSeconds;
}

void LocalSessionRecorder::appendAudio(const AudioBuffer& buffer, bool microphone) {
    AudioTrackWriter& track = microphone ? *microphoneAudio_ : *systemAudio_;
    if (!track.append(buffer, directory_, writers_)) return;
    auto& file = microphone ? manifest_.microphoneAudioFile : manifest_.systemAudioFile;
    auto& firstPTS = microphone ? manifest_.microphoneAudioFirstPTSSeconds : manifest_.systemAudioFirstPTSSeconds;
    if (firstPTS) return;
    file = track.filename();
    firstPTS = buffer.presentationSeconds;
    persistTimingFacts();
}

// The first sample of each track fixes a timing fact that later stages need to line the tracks
// up. Writing it soon (a few writes per capture, never per sample) means a capture that dies
// before finish() still leaves a session that can be transcribed and matched to frames. The
// write itself happens on the background writer: this runs on the sample queue.
void LocalSessionRecorder::persistTimingFacts() { timingFactsWriter_->submit(manifest_); }

void LocalSessionRecorder::finish() {
    // A late timing-facts write must not land over the complete manifest.
    timingFactsWriter_->drain();
    if (!started_) {
        writeManifestFile_(directory_, manifest_);
        return;
    }
    writer_->markAsFinished();
    systemAudio_->finish();
    microphoneAudio_->finish();
    writer_->finishWriting();
    manifest_.endedAt = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    writeManifestFile_(directory_, manifest_);
}

}  // namespace quillmer
