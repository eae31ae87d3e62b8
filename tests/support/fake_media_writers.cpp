#include "support/fake_media_writers.h"

namespace quillmer::testing {
namespace {

template <typename Sample>
class FakeWriter final : public MediaFileWriter<Sample> {
public:
    explicit FakeWriter(std::shared_ptr<FakeWriterLog> log) : log_(std::move(log)) {}
    bool startWriting() override { return log_->started = log_->startSucceeds; }
    void startSession(double sourceSeconds) override { log_->sessionStart = sourceSeconds; }
    bool isReadyForMoreMediaData() const override { return log_->ready; }
    bool append(const Sample& sample) override {
        if (!log_->ready) return false;
        log_->appendedTimes.push_back(sample.presentationSeconds);
        return true;
    }
    void markAsFinished() override { log_->markedFinished = true; }
    void finishWriting() override { log_->finishedWriting = true; }

private:
    std::shared_ptr<FakeWriterLog> log_;
};

}  // namespace

std::unique_ptr<VideoFileWriter> FakeMediaWriterFactory::makeVideoWriter(const std::filesystem::path& file,
                                                                         const VideoWriterSettings& settings) {
    if (videoWriterFails) return nullptr;
    videoSettings = settings;
    const std::string name = file.filename().string();
    madeFiles.push_back(name);
    return std::make_unique<FakeWriter<VideoFrame>>(logs_[name] = std::make_shared<FakeWriterLog>());
}

std::unique_ptr<AudioFileWriter> FakeMediaWriterFactory::makeAudioWriter(const std::filesystem::path& file,
                                                                         const AudioWriterSettings& settings) {
    if (audioWriterFailuresLeft > 0) {
        audioWriterFailuresLeft -= 1;
        return nullptr;
    }
    const std::string name = file.filename().string();
    audioSettings[name] = settings;
    madeFiles.push_back(name);
    auto log = logs_[name] = std::make_shared<FakeWriterLog>();
    log->ready = !audioWritersStartBusy;
    return std::make_unique<FakeWriter<AudioBuffer>>(log);
}

FakeWriterLog* FakeMediaWriterFactory::log(const std::string& fileName) {
    const auto found = logs_.find(fileName);
    return found == logs_.end() ? nullptr : found->second.get();
}

}  // namespace quillmer::testing
