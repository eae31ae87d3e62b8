#include "platform/linux/queued_media_file_writer.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

namespace quillmer {
namespace {

// Records what reaches the encoder; encode() waits while the test holds the gate shut.
struct EncoderLog {
    std::mutex mutex;
    std::condition_variable changed;
    bool gateOpen = true;
    bool opens = true;
    int failAt = -1;  // index of the encode that fails
    std::vector<int> encoded;
    std::vector<double> sessionStarts;
    int closes = 0;

    void setGate(bool open) {
        std::lock_guard lock(mutex);
        gateOpen = open;
        changed.notify_all();
    }
};

class GatedEncoder final : public SampleEncoder<int> {
public:
    explicit GatedEncoder(EncoderLog& log) : log_(log) {}
    bool open() override { return log_.opens; }
    bool encode(const int& sample, double sessionStartSeconds) override {
        std::unique_lock lock(log_.mutex);
        log_.changed.wait(lock, [this] { return log_.gateOpen; });
        if (static_cast<int>(log_.encoded.size()) == log_.failAt) return false;
        log_.encoded.push_back(sample);
        log_.sessionStarts.push_back(sessionStartSeconds);
        return true;
    }
    void close() override {
        std::lock_guard lock(log_.mutex);
        log_.closes += 1;
        log_.changed.notify_all();
    }

private:
    EncoderLog& log_;
};

TEST(QueuedMediaFileWriter, AFullQueueIsNotReadyAndRefusesRatherThanBlocking) {
    EncoderLog log;
    log.setGate(false);
    QueuedMediaFileWriter<int> writer(std::make_unique<GatedEncoder>(log), 3);
    EXPECT_FALSE(writer.isReadyForMoreMediaData());  // not started yet
    EXPECT_FALSE(writer.append(0));
    ASSERT_TRUE(writer.startWriting());
    writer.startSession(12.5);
    int accepted = 0;
    for (int i = 0; i < 10; ++i) accepted += writer.isReadyForMoreMediaData() && writer.append(i);
    // The worker holds one sample inside the stuck encoder and the queue keeps it until done.
    EXPECT_EQ(accepted, 3);
    EXPECT_FALSE(writer.append(99));

    log.setGate(true);
    writer.markAsFinished();
    EXPECT_FALSE(writer.append(100));  // nothing after the input is marked finished
    writer.finishWriting();
    EXPECT_EQ(log.encoded, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(log.sessionStarts, (std::vector<double>{12.5, 12.5, 12.5}));
    EXPECT_EQ(log.closes, 1);
}

TEST(QueuedMediaFileWriter, AFailedEncodeRefusesLaterSamplesAndStillClosesTheFile) {
    EncoderLog log;
    log.failAt = 1;
    QueuedMediaFileWriter<int> writer(std::make_unique<GatedEncoder>(log), 4);
    ASSERT_TRUE(writer.startWriting());
    EXPECT_TRUE(writer.append(0));
    EXPECT_TRUE(writer.append(1));  // fails inside the encoder
    {
        std::unique_lock lock(log.mutex);
        log.changed.wait(lock, [&] { return log.closes == 1; });
    }
    EXPECT_FALSE(writer.isReadyForMoreMediaData());
    EXPECT_FALSE(writer.append(2));
    writer.finishWriting();
    EXPECT_EQ(log.encoded, (std::vector<int>{0}));
    EXPECT_EQ(log.closes, 1);

    // An encoder that cannot open never starts and is never closed.
    EncoderLog closed;
    closed.opens = false;
    QueuedMediaFileWriter<int> never(std::make_unique<GatedEncoder>(closed), 2);
    EXPECT_FALSE(never.startWriting());
    EXPECT_FALSE(never.append(1));
    never.finishWriting();
    EXPECT_EQ(closed.closes, 0);
}

TEST(QueuedMediaFileWriter, DestroyingAStartedWriterEncodesWhatWasQueuedAndCloses) {
    EncoderLog log;
    {
        QueuedMediaFileWriter<int> writer(std::make_unique<GatedEncoder>(log), 4);
        ASSERT_TRUE(writer.startWriting());
        log.setGate(false);
        EXPECT_TRUE(writer.append(1));
        EXPECT_TRUE(writer.append(2));
        log.setGate(true);
    }
    EXPECT_EQ(log.encoded, (std::vector<int>{1, 2}));
    EXPECT_EQ(log.closes, 1);
}

}  // namespace
}  // namespace quillmer
