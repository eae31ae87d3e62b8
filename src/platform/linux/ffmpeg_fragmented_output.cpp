#include "platform/linux/ffmpeg_fragmented_output.h"

namespace quillmer {

std::unique_ptr<FragmentedMp4Output> FragmentedMp4Output::create(const std::filesystem::path& file,
                                                                 AVCodecContextPointer encoder) {
    if (!encoder) return nullptr;
    AVFormatContext* format = nullptr;
    // The extension picks the muxer: "mp4" for ".mp4", "ipod" (Apple M4A) for ".m4a".
    if (avformat_alloc_output_context2(&format, nullptr, nullptr, file.c_str()) < 0 || !format) return nullptr;
    AVStream* stream = avformat_new_stream(format, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, encoder.get()) < 0) {
        avformat_free_context(format);
        return nullptr;
    }
    stream->time_base = encoder->time_base;
    return std::unique_ptr<FragmentedMp4Output>(new FragmentedMp4Output(file, format, stream, std::move(encoder)));
}

FragmentedMp4Output::FragmentedMp4Output(const std::filesystem::path& file, AVFormatContext* format,
                                         AVStream* stream, AVCodecContextPointer encoder)
    : file_(file), format_(format), stream_(stream), encoder_(std::move(encoder)), packet_(av_packet_alloc()) {}

FragmentedMp4Output::~FragmentedMp4Output() {
    if (opened_ && !finished_) finish();
    if (format_ && format_->pb) avio_closep(&format_->pb);
    avformat_free_context(format_);
    av_packet_free(&packet_);
}

bool FragmentedMp4Output::open() {
    if (opened_ || !packet_) return false;
    if (avio_open(&format_->pb, file_.c_str(), AVIO_FLAG_WRITE) < 0) return false;
    // Every write reaches the file at once; with fragmenting that is one write per fragment.
    format_->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+delay_moov+default_base_moof", 0);
    av_dict_set(&options, "frag_duration", "1000000", 0);  // microseconds
    const int result = avformat_write_header(format_, &options);
    av_dict_free(&options);
    if (result < 0) return false;
    opened_ = true;
    return true;
}

bool FragmentedMp4Output::encode(const AVFrame* frame) {
    if (!opened_ || finished_) return false;
    if (avcodec_send_frame(encoder_.get(), frame) < 0) return false;
    return writeAvailablePackets();
}

bool FragmentedMp4Output::writeAvailablePackets() {
    for (;;) {
        const int received = avcodec_receive_packet(encoder_.get(), packet_);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
        if (received < 0) return false;
        av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        // One track, packets in decoding order: no interleaving buffer needed.
        const int written = av_write_frame(format_, packet_);
        av_packet_unref(packet_);
        if (written < 0) return false;
    }
}

bool FragmentedMp4Output::finish() {
    if (!opened_ || finished_) return false;
    bool complete = encode(nullptr);
    finished_ = true;
    complete = av_write_trailer(format_) >= 0 && complete;
    complete = avio_closep(&format_->pb) >= 0 && complete;
    return complete;
}

}  // namespace quillmer
