// The movie decoders on FFmpeg, built into the module the program loads on its first movie
// (platform/movie_module.h); the tests and fuzzers link them in directly.
#include "platform/movie_module.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/common.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int64_t kFallbackFrameMs = 40;
constexpr int64_t kLongestFrameMs = 1000;
// A track starts at most this long after the file's first timestamp (a sound track that starts
// later is preceded by this much silence at most).
constexpr int64_t kLongestLeadInMs = 10000;
// A video frame more than this after the end of the frame before it has a damaged time: an
// unskippable movie would otherwise stand on one picture for as long as the jump says (up to a
// day in an MPEG program stream).
constexpr int64_t kLongestGapMs = 10000;
// A frame due this far past the decoding is reached from the key frame before it rather than
// by decoding every frame up to it.
constexpr int64_t kSkipAheadMs = 1000;

std::atomic<uint64_t> g_decodedFrames{0};

std::atomic<const SMovieHost*> g_host{nullptr};

void SilenceLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// One track of a movie file: its demuxer (the other tracks discarded), its decoder and the
// file's first timestamp, from which every position counts.
class CTrackReader {
public:
    CTrackReader() = default;
    CTrackReader(const CTrackReader&) = delete;
    CTrackReader& operator=(const CTrackReader&) = delete;
    ~CTrackReader() { Close(); }

    bool Open(const char* path, AVMediaType type) {
        SilenceLibraryLog();
        if (path == nullptr || path[0] == '\0') return false;
        path_ = path;
        type_ = type;
        // Only plain files, which the host opens: a name that looks like an address is never
        // fetched, and a FIFO or a device never blocks the open. The library opens the very file
        // checked there, through its descriptor's name.
        const int fd = g_host.load(std::memory_order_acquire)->openGameFile(path);
        if (fd < 0) return false;
        const std::string url = "file:/proc/self/fd/" + std::to_string(fd);
        AVDictionary* options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        const int opened = avformat_open_input(&format_, url.c_str(), nullptr, &options);
        av_dict_free(&options);
        ::close(fd);
        if (opened < 0 || avformat_find_stream_info(format_, nullptr) < 0) return false;
        const AVCodec* decoder = nullptr;
        const int index = av_find_best_stream(format_, type, -1, -1, &decoder, 0);
        if (index < 0 || decoder == nullptr) return false;
        for (unsigned i = 0; i < format_->nb_streams; ++i)
            if (static_cast<int>(i) != index) format_->streams[i]->discard = AVDISCARD_ALL;
        stream_ = format_->streams[index];
        codec_ = avcodec_alloc_context3(decoder);
        if (codec_ == nullptr || avcodec_parameters_to_context(codec_, stream_->codecpar) < 0) return false;
        codec_->thread_count = 1;  // decoded on the calling thread only
        if (avcodec_open2(codec_, decoder, nullptr) < 0) return false;
        packet_ = av_packet_alloc();
        if (packet_ == nullptr) return false;
        if (format_->start_time != AV_NOPTS_VALUE) {
            origin_ = av_rescale_q(format_->start_time, AV_TIME_BASE_Q, stream_->time_base);
        } else if (stream_->start_time != AV_NOPTS_VALUE) {
            origin_ = stream_->start_time;
        }
        return true;
    }

    // The next decoded frame; false at the end of the track or where nothing more decodes. A
    // damaged packet is left out.
    bool Next(AVFrame* frame) {
        while (!ended_) {
            const int received = avcodec_receive_frame(codec_, frame);
            if (received == 0) return true;
            if (received != AVERROR(EAGAIN) || drained_) break;
            if (!queued_.empty()) {
                avcodec_send_packet(codec_, queued_.front());
                av_packet_free(&queued_.front());
                queued_.pop_front();
                continue;
            }
            if (fileEnded_ || av_read_frame(format_, packet_) < 0) {
                fileEnded_ = drained_ = true;
                avcodec_send_packet(codec_, nullptr);  // the frames the decoder still holds
                continue;
            }
            if (packet_->stream_index == stream_->index) avcodec_send_packet(codec_, packet_);
            av_packet_unref(packet_);
        }
        ended_ = true;
        return false;
    }

    // Reads on without decoding up to the packet past ms (media ms) and keeps the packets from
    // the last key frame not after ms, or from where the reading stood when no such key frame
    // came, for Next: a jump far ahead decodes from a key frame near the time due, never every
    // frame between. True when packets were left out (the decoder starts afresh at the key
    // frame, whose time goes to keyMs).
    bool SkipTo(int64_t ms, int64_t* keyMs) {
        bool skipped = false;
        while (!fileEnded_) {
            AVPacket* packet = av_packet_alloc();
            if (packet == nullptr) break;
            if (av_read_frame(format_, packet) < 0) {
                av_packet_free(&packet);
                fileEnded_ = true;
                break;
            }
            if (packet->stream_index != stream_->index) {
                av_packet_free(&packet);
                continue;
            }
            const int64_t packetMs = ToMs(packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts);
            if ((packet->flags & AV_PKT_FLAG_KEY) != 0 && packetMs != INT64_MIN && packetMs <= ms) {
                ClearQueue();
                avcodec_flush_buffers(codec_);
                skipped = true;
                *keyMs = packetMs;
            }
            queued_.push_back(packet);
            if (packetMs != INT64_MIN && packetMs > ms) break;
        }
        return skipped;
    }

    // Back to the start as the file was opened: opened again. (A seek to the start does not
    // give back every sound's opening: the samples an encoder put before it, which the first
    // read leaves out, come out again after a seek in MP4 and WebM.)
    bool Reopen() {
        const std::string path = path_;
        Close();
        if (Open(path.c_str(), type_)) return true;
        Close();
        ended_ = true;  // nothing more is read
        return false;
    }

    // Back to the start of the file: a seek by time to its first timestamp. (A byte seek to 0
    // is not the start everywhere: Matroska and WebM resume at a later cluster after it.) Only
    // a demuxer that cannot seek by time is sent to byte 0.
    bool Rewind() {
        const int64_t start = format_->start_time != AV_NOPTS_VALUE ? format_->start_time : 0;
        int sought = avformat_seek_file(format_, -1, INT64_MIN, start, start, 0);
        if (sought < 0) sought = av_seek_frame(format_, -1, start, AVSEEK_FLAG_BACKWARD);
        if (sought < 0 && (format_->iformat->flags & AVFMT_NO_BYTE_SEEK) == 0)
            sought = av_seek_frame(format_, -1, 0, AVSEEK_FLAG_BYTE);
        avcodec_flush_buffers(codec_);
        ClearQueue();
        fileEnded_ = drained_ = false;
        ended_ = sought < 0;
        return sought >= 0;
    }

    // A timestamp of the track in ms from the file's first timestamp; INT64_MIN for none.
    int64_t ToMs(int64_t timestamp) const {
        if (timestamp == AV_NOPTS_VALUE) return INT64_MIN;
        return av_rescale_q(av_sat_sub64(timestamp, origin_), stream_->time_base, AVRational{1, 1000});
    }

    const AVStream* Stream() const { return stream_; }
    const AVCodecContext* Codec() const { return codec_; }

private:
    void Close() {
        ClearQueue();
        av_packet_free(&packet_);
        avcodec_free_context(&codec_);
        avformat_close_input(&format_);
        stream_ = nullptr;
        origin_ = 0;
        fileEnded_ = drained_ = ended_ = false;
    }

    void ClearQueue() {
        for (AVPacket*& packet : queued_) av_packet_free(&packet);
        queued_.clear();
    }

    std::string path_;
    AVMediaType type_ = AVMEDIA_TYPE_UNKNOWN;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVStream* stream_ = nullptr;
    AVPacket* packet_ = nullptr;
    int64_t origin_ = 0;  // in the track's time base
    std::deque<AVPacket*> queued_;  // read by SkipTo, not decoded yet
    bool fileEnded_ = false;        // no packet is left to read
    bool drained_ = false;          // the decoder was told the end
    bool ended_ = false;
};

int64_t MsOfRate(AVRational rate) {
    if (rate.num <= 0 || rate.den <= 0) return 0;
    return av_rescale(1000, rate.den, rate.num);
}

class CVideoDecoder final : public IMovieVideo {
public:
    ~CVideoDecoder() override {
        av_frame_free(&current_);
        av_frame_free(&pending_);
        sws_freeContext(scaler_);
    }

    bool Open(const char* path) {
        current_ = av_frame_alloc();
        pending_ = av_frame_alloc();
        if (current_ == nullptr || pending_ == nullptr || !reader_.Open(path, AVMEDIA_TYPE_VIDEO)) return false;
        if (reader_.Codec()->width <= 0 || reader_.Codec()->height <= 0) return false;
        frameMs_ = MsOfRate(reader_.Stream()->avg_frame_rate);
        if (frameMs_ <= 0) frameMs_ = MsOfRate(reader_.Stream()->r_frame_rate);
        if (frameMs_ <= 0) frameMs_ = kFallbackFrameMs;
        frameMs_ = std::min(frameMs_, kLongestFrameMs);
        // A file that opens but gives no frame (cut after its header, or zeros after it) is
        // no movie.
        return DecodeNext();
    }

    int32_t AdvanceTo(int64_t mediaMs) override {
        // The frame due may lie far ahead of the decoding when the calls stopped for a while
        // (a dialog held the ticks): decoding starts again at a key frame near it rather than
        // decoding every frame between in this call.
        if (decodedAny_ && !ended_ && mediaMs - lastEndMs_ > kSkipAheadMs && reader_.SkipTo(mediaMs, &resyncMs_)) {
            hasPending_ = false;
            skippedTo_ = mediaMs;
        }
        bool changed = false;
        while ((hasPending_ || DecodeNext()) && pendingMs_ <= mediaMs) {
            std::swap(current_, pending_);
            hasCurrent_ = true;
            hasPending_ = false;
            changed = true;
        }
        return changed ? 1 : 0;
    }

    int32_t WriteFrame(uint32_t* pixels, int32_t pitchBytes, uint32_t width, uint32_t height) override {
        if (!hasCurrent_ || pixels == nullptr || width == 0 || height == 0 || width > INT32_MAX / 4 ||
            height > INT32_MAX || pitchBytes < static_cast<int32_t>(width * 4))
            return -1;
        scaler_ = sws_getCachedContext(scaler_, current_->width, current_->height,
                                       static_cast<AVPixelFormat>(current_->format), static_cast<int>(width),
                                       static_cast<int>(height), AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr,
                                       nullptr);
        if (scaler_ == nullptr) return -1;
        uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(pixels), nullptr, nullptr, nullptr};
        const int strides[4] = {pitchBytes, 0, 0, 0};
        return sws_scale(scaler_, current_->data, current_->linesize, 0, current_->height, planes, strides) > 0 ? 0
                                                                                                             : -1;
    }

    int64_t EndMs() const override {
        if (!ended_ || hasPending_) return -1;
        return decodedAny_ ? lastEndMs_ : 0;
    }

    int32_t Rewind() override {
        const bool sought = reader_.Rewind();
        hasCurrent_ = hasPending_ = decodedAny_ = false;
        skippedTo_ = -1;
        ended_ = !sought;
        return sought ? 0 : -1;
    }

private:
    // Decodes the next frame into pending_. A frame without a time, or one that goes back in
    // time or leaps far ahead (damaged data), follows the one before it.
    bool DecodeNext() {
        if (ended_) return false;
        if (!reader_.Next(pending_)) {
            ended_ = true;
            return false;
        }
        g_decodedFrames.fetch_add(1, std::memory_order_relaxed);
        int64_t ms = reader_.ToMs(pending_->best_effort_timestamp);
        if (!decodedAny_) {
            ms = ms == INT64_MIN ? 0 : std::min(ms, kLongestLeadInMs);
        } else if (skippedTo_ >= 0) {
            // The first frame after a jump ahead keeps its own time where that is near the time
            // due, else it takes its key frame's.
            if (ms == INT64_MIN || ms < 0 || ms > skippedTo_ + kLongestGapMs)
                ms = std::clamp<int64_t>(resyncMs_, 0, skippedTo_);
            skippedTo_ = -1;
        } else if (ms == INT64_MIN || ms < lastEndMs_ - frameMs_ || ms > lastEndMs_ + kLongestGapMs) {
            ms = lastEndMs_;
        }
        pendingMs_ = ms;
        lastEndMs_ = av_sat_add64(ms, frameMs_);
        hasPending_ = true;
        decodedAny_ = true;
        return true;
    }

    CTrackReader reader_;
    AVFrame* current_ = nullptr;
    AVFrame* pending_ = nullptr;  // the next frame, not due yet
    SwsContext* scaler_ = nullptr;
    int64_t frameMs_ = kFallbackFrameMs;
    int64_t pendingMs_ = 0;
    int64_t lastEndMs_ = 0;  // time of the last decoded frame plus its duration
    int64_t skippedTo_ = -1;  // after a jump ahead: the media time it went to
    int64_t resyncMs_ = -1;   // and the time of the key frame decoding starts at
    bool hasCurrent_ = false;
    bool hasPending_ = false;
    bool decodedAny_ = false;
    bool ended_ = false;
};

class CAudioDecoder final : public IMovieAudio {
public:
    ~CAudioDecoder() override {
        av_frame_free(&frame_);
        swr_free(&resampler_);
        av_channel_layout_uninit(&inLayout_);
    }

    // A track that opens but gives no sample (a file cut after its header) is no sound.
    bool Open(const char* path) {
        frame_ = av_frame_alloc();
        if (frame_ == nullptr || !reader_.Open(path, AVMEDIA_TYPE_AUDIO)) return false;
        while (buffer_.empty())
            if (Refill() <= 0) return false;
        return true;
    }

    int32_t Read(int16_t* pcm, uint32_t frameCount) override {
        uint32_t filled = 0;
        while (filled < frameCount) {
            const size_t held = buffer_.size() / kMovieAudioChannels;
            if (taken_ < held) {
                const size_t n = std::min<size_t>(held - taken_, frameCount - filled);
                std::copy_n(buffer_.data() + taken_ * kMovieAudioChannels, n * kMovieAudioChannels,
                            pcm + static_cast<size_t>(filled) * kMovieAudioChannels);
                taken_ += n;
                filled += static_cast<uint32_t>(n);
                continue;
            }
            const int32_t refilled = Refill();
            if (refilled < 0) return filled > 0 ? static_cast<int32_t>(filled) : -1;
            if (refilled == 0) break;
        }
        return static_cast<int32_t>(filled);
    }

    int32_t Rewind() override {
        swr_free(&resampler_);
        buffer_.clear();
        taken_ = 0;
        started_ = false;
        flushed_ = false;
        return reader_.Reopen() ? 0 : -1;
    }

private:
    // The next decoded frame as 16-bit stereo into buffer_: 1, 0 at the end, -1 on a failure.
    int32_t Refill() {
        buffer_.clear();
        taken_ = 0;
        if (flushed_) return 0;
        if (!reader_.Next(frame_)) {
            // What the resampler still holds.
            flushed_ = true;
            return resampler_ != nullptr && Convert(nullptr, 0, 0) > 0 ? 1 : 0;
        }
        if (!Configure(frame_)) return -1;
        int64_t leadIn = 0;
        if (!started_) {
            started_ = true;
            const int64_t ms = reader_.ToMs(frame_->best_effort_timestamp);
            if (ms != INT64_MIN) leadIn = std::clamp<int64_t>(ms, 0, kLongestLeadInMs) * kMovieAudioRate / 1000;
        }
        return Convert(const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples, leadIn) < 0 ? -1 : 1;
    }

    // Appends leadIn frames of silence and the converted samples to buffer_: the frames added, or
    // -1.
    int64_t Convert(const uint8_t** input, int inputFrames, int64_t leadIn) {
        const int room = swr_get_out_samples(resampler_, inputFrames);
        if (room < 0) return -1;
        buffer_.assign(static_cast<size_t>(leadIn + room) * kMovieAudioChannels, 0);
        uint8_t* out = reinterpret_cast<uint8_t*>(buffer_.data() + leadIn * kMovieAudioChannels);
        const int converted = swr_convert(resampler_, &out, room, input, inputFrames);
        if (converted < 0) return -1;
        buffer_.resize(static_cast<size_t>(leadIn + converted) * kMovieAudioChannels);
        return leadIn + converted;
    }

    // A resampler from the frame's format to 16-bit stereo at 44,100 Hz, made again when the
    // format changes.
    bool Configure(const AVFrame* frame) {
        if (resampler_ != nullptr && frame->format == inFormat_ && frame->sample_rate == inRate_ &&
            av_channel_layout_compare(&frame->ch_layout, &inLayout_) == 0)
            return true;
        swr_free(&resampler_);
        av_channel_layout_uninit(&inLayout_);
        if (frame->sample_rate <= 0 || frame->ch_layout.nb_channels <= 0 ||
            av_channel_layout_copy(&inLayout_, &frame->ch_layout) < 0)
            return false;
        inFormat_ = frame->format;
        inRate_ = frame->sample_rate;
        AVChannelLayout in = {};
        if (inLayout_.order == AV_CHANNEL_ORDER_UNSPEC) {
            av_channel_layout_default(&in, inLayout_.nb_channels);
        } else if (av_channel_layout_copy(&in, &inLayout_) < 0) {
            return false;
        }
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        const int made = swr_alloc_set_opts2(&resampler_, &stereo, AV_SAMPLE_FMT_S16, kMovieAudioRate, &in,
                                             static_cast<AVSampleFormat>(inFormat_), inRate_, 0, nullptr);
        av_channel_layout_uninit(&in);
        if (made < 0 || swr_init(resampler_) < 0) {
            swr_free(&resampler_);
            return false;
        }
        return true;
    }

    CTrackReader reader_;
    AVFrame* frame_ = nullptr;
    SwrContext* resampler_ = nullptr;
    AVChannelLayout inLayout_ = {};
    int inFormat_ = -1;
    int inRate_ = 0;
    std::vector<int16_t> buffer_;  // converted frames not yet read
    size_t taken_ = 0;             // frames of buffer_ already read
    bool started_ = false;         // the first frame since the start was converted
    bool flushed_ = false;
};

IMovieVideo* OpenVideo(const char* path) {
    auto video = std::make_unique<CVideoDecoder>();
    return video->Open(path) ? video.release() : nullptr;
}

IMovieAudio* OpenAudio(const char* path) {
    auto audio = std::make_unique<CAudioDecoder>();
    return audio->Open(path) ? audio.release() : nullptr;
}

uint64_t DecodedFrames() { return g_decodedFrames.load(std::memory_order_relaxed); }

constexpr SMovieDecoderOps kOps = {OpenVideo, OpenAudio, DecodedFrames};

}  // namespace

extern "C" __attribute__((visibility("default"))) const SMovieDecoderOps* VelkoraMovieDecoder(const SMovieHost* host) {
    if (host == nullptr || host->openGameFile == nullptr) return nullptr;
    g_host.store(host, std::memory_order_release);
    return &kOps;
}
