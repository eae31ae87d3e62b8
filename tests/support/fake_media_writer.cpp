#include "support/fake_media_writer.h"

#include "support/temporary_folder.h"

namespace quillmer::testing {

template <typename Sample>
class FakeFileWriter final : public MediaFileWriter<Sample> {
public:
    FakeFileWriter(FakeMediaWriterFactory& factory, std::filesystem::path file)
        : factory_(factory), file_(std::move(file)) {}

    bool startWriting() override { return true; }
    void startSession(double) override {}
    bool isReadyForMoreMediaData() const override { return factory_.ready.load() && !markedFinished_; }
    bool append(const Sample&) override {
        ++appended_;
        return true;
    }
    void markAsFinished() override { markedFinished_ = true; }
    void finishWriting() override {
        writeTestFile(file_, "samples " + std::to_string(appended_) + "\n");
        factory_.recordFinished(file_);
    }

private:
    FakeMediaWriterFactory& factory_;
    std::filesystem::path file_;
    int appended_ = 0;
    bool markedFinished_ = false;
};

std::unique_ptr<VideoFileWriter> FakeMediaWriterFactory::makeVideoWriter(const std::filesystem::path& file,
                                                                         const VideoWriterSettings&) {
    if (videoWriterFails) return nullptr;
    return std::make_unique<FakeFileWriter<VideoFrame>>(*this, file);
}

std::unique_ptr<AudioFileWriter> FakeMediaWriterFactory::makeAudioWriter(const std::filesystem::path& file,
                                                                         const AudioWriterSettings&) {
    return std::make_unique<FakeFileWriter<AudioBuffer>>(*this, file);
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
