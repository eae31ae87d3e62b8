#include "support/fake_media_writers.h"

#include "support/temporary_folder.h"

namespace quillmer::testing {

template <typename Sample>
class FakeWriter final : public MediaFileWriter<Sample> {
public:
    FakeWriter(FakeMediaWriterFactory& factory, std::filesystem::path file, std::shared_ptr<FakeWriterLog> log)
        : factory_(factory), file_(std::move(file)), log_(std::move(log)) {}
    bool startWriting() override { return log_->startSucceeds; }
    void startSession(double sourceSeconds) override { log_->sessionStart = sourceSeconds; }
    bool isReadyForMoreMediaData() const override { return log_->ready && factory_.ready.load(); }
    bool append(const Sample& sample) override {
        if (!isReadyForMoreMediaData()) return false;
        log_->appendedTimes.push_back(sample.presentationSeconds);
        return true;
    }
    void markAsFinished() override { log_->markedFinished = true; }
    void finishWriting() override {
        log_->finishedWriting = true;
        writeTestFile(file_, "samples " + std::to_string(log_->appendedTimes.size()) + "\n");
        factory_.recordFinished(file_);
    }

private:
    FakeMediaWriterFactory& factory_;
    std::filesystem::path file_;
    std::shared_ptr<FakeWriterLog> log_;
};

std::unique_ptr<VideoFileWriter> FakeMediaWriterFactory::makeVideoWriter(const std::filesystem::path& file,
                                                                         const VideoWriterSettings& settings) {
    std::lock_guard lock(mutex_);
    if (videoWriterFails) return nullptr;
    videoSettings = settings;
    return std::make_unique<FakeWriter<VideoFrame>>(*this, file, newLog(file, true));
}

std::unique_ptr<AudioFileWriter> FakeMediaWriterFactory::makeAudioWriter(const std::filesystem::path& file,
                                                                         const AudioWriterSettings& settings) {
    std::lock_guard lock(mutex_);
    if (audioWriterFailuresLeft > 0) {
        --audioWriterFailuresLeft;
        return nullptr;
    }
    audioSettings[file.filename().string()] = settings;
    return std::make_unique<FakeWriter<AudioBuffer>>(*this, file, newLog(file, !audioWritersStartBusy));
}

std::shared_ptr<FakeWriterLog> FakeMediaWriterFactory::newLog(const std::filesystem::path& file, bool ready) {
    madeFiles.push_back(file.filename().string());
    auto& log = logs_[file.filename().string()] = std::make_shared<FakeWriterLog>();
    log->ready = ready;
    return log;
}

FakeWriterLog* FakeMediaWriterFactory::log(const std::string& fileName) {
    std::lock_guard lock(mutex_);
    const auto found = logs_.find(fileName);
    return found == logs_.end() ? nullptr : found->second.get();
}

std::vector<std::filesystem::path> FakeMediaWriterFactory::finishedFiles() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

void FakeMediaWriterFactory::recordFinished(const std::filesystem::path& file) {
    std::lock_guard lock(mutex_);
    finished_.push_back(file);
}

}  // namespace quillmer::testing
