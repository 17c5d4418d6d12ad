#include "platform/Mp4ClipWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <vector>

namespace platform {

namespace {

constexpr const char* crf = "18";
// Encoding speed against quality at CRF 18: "fast" takes about 45 ms of
// CPU a 1080p frame, "medium" a third more for no smaller files (bench_clips).
constexpr const char* x264Preset = "fast";
// Chroma quantised finer than luma: single saturated pixels (stars) are
// otherwise washed toward the sky around them, for a fifth more bytes.
constexpr const char* chromaQuality = "chroma-qp-offset=-4";
constexpr int largestSide = 16384;
constexpr int ioBufferBytes = 1 << 16;

#if LIBAVFORMAT_VERSION_MAJOR >= 61
using PacketBytes = const uint8_t*;
#else
using PacketBytes = uint8_t*;
#endif

struct FreeFormat {
    void operator()(AVFormatContext* f) const { avformat_free_context(f); }
};
struct FreeIo {
    void operator()(AVIOContext* io) const {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct FreeCodec {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FreeFrame {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct FreePacket {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FreeScaler {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

std::string describe(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

class Mp4ClipWriter final : public ClipWriter {
public:
    Mp4ClipWriter(std::unique_ptr<OutputFile> file, int width, int height)
        : file_(std::move(file)), width_(width), height_(height), scale_(mp4Scale(height)) {}

    bool start() {
        if (static_cast<int64_t>(width_) * scale_ > largestSide || static_cast<int64_t>(height_) * scale_ > largestSide)
            return failed("frames scaled up " + std::to_string(scale_) + " times would be wider than " + std::to_string(largestSide) +
                          " pixels");
        outWidth_ = width_ * scale_;
        outHeight_ = height_ * scale_;
        // libavcodec and x264 would otherwise talk on stderr; failures come back as return codes.
        av_log_set_level(AV_LOG_QUIET);
        const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
        if (!codec) return failed("this libavcodec has no H.264 encoder (libx264)");
        AVFormatContext* format = nullptr;
        if (const int r = avformat_alloc_output_context2(&format, nullptr, "mp4", nullptr); r < 0) return failed(r);
        format_.reset(format);
        auto* buffer = static_cast<unsigned char*>(av_malloc(ioBufferBytes));
        io_.reset(buffer ? avio_alloc_context(buffer, ioBufferBytes, 1, this, nullptr, writeBytes, seekBytes) : nullptr);
        if (!io_) {
            av_free(buffer);
            return failed(AVERROR(ENOMEM));
        }
        format_->pb = io_.get();
        format_->flags |= AVFMT_FLAG_CUSTOM_IO;
        // Moving the index to the front reads the file back through its name.
        format_->url = av_strdup(file_->stagedPath().c_str());
        stream_ = avformat_new_stream(format_.get(), nullptr);
        codec_.reset(avcodec_alloc_context3(codec));
        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        if (!format_->url || !stream_ || !codec_ || !frame_ || !packet_) return failed(AVERROR(ENOMEM));

        codec_->width = outWidth_;
        codec_->height = outHeight_;
        codec_->time_base = {1, clipFramesPerSecond};
        codec_->framerate = {clipFramesPerSecond, 1};
        codec_->pix_fmt = AV_PIX_FMT_YUV420P;
        codec_->color_range = AVCOL_RANGE_MPEG;
        codec_->colorspace = AVCOL_SPC_BT709;
        codec_->color_primaries = AVCOL_PRI_BT709;
        codec_->color_trc = AVCOL_TRC_IEC61966_2_1;
        if (format_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AVDictionary* encoderOptions = nullptr;
        av_dict_set(&encoderOptions, "crf", crf, 0);
        av_dict_set(&encoderOptions, "preset", x264Preset, 0);
        av_dict_set(&encoderOptions, "x264-params", chromaQuality, 0);
        const int opened = avcodec_open2(codec_.get(), codec, &encoderOptions);
        av_dict_free(&encoderOptions);
        if (opened < 0) return failed(opened);
        if (const int r = avcodec_parameters_from_context(stream_->codecpar, codec_.get()); r < 0) return failed(r);
        stream_->time_base = codec_->time_base;
        stream_->avg_frame_rate = codec_->framerate;

        AVDictionary* muxerOptions = nullptr;
        av_dict_set(&muxerOptions, "movflags", "+faststart", 0);
        const int header = avformat_write_header(format_.get(), &muxerOptions);
        av_dict_free(&muxerOptions);
        if (header < 0) return failed(header);

        frame_->format = AV_PIX_FMT_YUV420P;
        frame_->width = outWidth_;
        frame_->height = outHeight_;
        if (const int r = av_frame_get_buffer(frame_.get(), 0); r < 0) return failed(r);
        // Point sampling: every 2 x 2 chroma block lies inside one source
        // pixel, and a smoothing chroma filter would still reach across into
        // its neighbours.
        scaler_.reset(sws_getContext(outWidth_, outHeight_, AV_PIX_FMT_RGB0, outWidth_, outHeight_, AV_PIX_FMT_YUV420P,
                                     SWS_POINT, nullptr, nullptr, nullptr));
        if (!scaler_) return failed(AVERROR(ENOMEM));
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(scaler_.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
        scaled_.resize(static_cast<std::size_t>(outWidth_) * static_cast<std::size_t>(outHeight_));
        return true;
    }

    bool addFrame(const uint32_t* pixels) override {
        scaleUp(pixels);
        if (const int r = av_frame_make_writable(frame_.get()); r < 0) return failed(r);
        const uint8_t* planes[1] = {reinterpret_cast<const uint8_t*>(scaled_.data())};
        const int strides[1] = {outWidth_ * 4};
        sws_scale(scaler_.get(), planes, strides, 0, outHeight_, frame_->data, frame_->linesize);
        frame_->pts = frames_++;
        return encode(frame_.get());
    }

    bool finish() override {
        if (!encode(nullptr)) return false;
        if (const int r = av_write_trailer(format_.get()); r < 0) return failed(r);
        return file_->commit();
    }

    std::string error() const override { return file_->error(); }

private:
    // Nearest-neighbour by the whole-number scale.
    void scaleUp(const uint32_t* pixels) {
        for (int y = 0; y < outHeight_; ++y) {
            uint32_t* to = scaled_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(outWidth_);
            if (y % scale_ != 0) {
                std::copy(to - outWidth_, to, to);
                continue;
            }
            const uint32_t* from = pixels + static_cast<std::size_t>(y / scale_) * static_cast<std::size_t>(width_);
            for (int x = 0; x < outWidth_; ++x) to[x] = from[x / scale_];
        }
    }

    // Sends a frame (nothing: the end) and writes what the encoder has ready.
    bool encode(const AVFrame* frame) {
        if (const int r = avcodec_send_frame(codec_.get(), frame); r < 0) return failed(r);
        for (;;) {
            const int r = avcodec_receive_packet(codec_.get(), packet_.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return failed(r);
            av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            if (const int w = av_interleaved_write_frame(format_.get(), packet_.get()); w < 0) return failed(w);
        }
    }

    static int writeBytes(void* opaque, PacketBytes bytes, int size) {
        OutputFile& file = *static_cast<Mp4ClipWriter*>(opaque)->file_;
        return file.write(bytes, static_cast<std::size_t>(size)) ? size : AVERROR_EXTERNAL;
    }

    static int64_t seekBytes(void* opaque, int64_t offset, int whence) {
        if (whence & AVSEEK_SIZE) return AVERROR(ENOSYS);
        const int64_t at = static_cast<Mp4ClipWriter*>(opaque)->file_->seek(offset, whence & ~AVSEEK_FORCE);
        return at < 0 ? AVERROR_EXTERNAL : at;
    }

    // A failure of the file itself was recorded with its cause already.
    bool failed(int code) { return failed("H.264 encoder: " + describe(code)); }
    bool failed(const std::string& reason) {
        file_->fail(reason);
        return false;
    }

    std::unique_ptr<OutputFile> file_;
    std::unique_ptr<AVIOContext, FreeIo> io_;
    std::unique_ptr<AVFormatContext, FreeFormat> format_;
    std::unique_ptr<AVCodecContext, FreeCodec> codec_;
    std::unique_ptr<AVFrame, FreeFrame> frame_;
    std::unique_ptr<AVPacket, FreePacket> packet_;
    std::unique_ptr<SwsContext, FreeScaler> scaler_;
    AVStream* stream_ = nullptr;
    std::vector<uint32_t> scaled_;
    int width_;
    int height_;
    int scale_;
    int outWidth_ = 0;
    int outHeight_ = 0;
    int64_t frames_ = 0;
};

}  // namespace

int mp4Scale(int rows) {
    const int scale = std::max((1080 + rows - 1) / rows, 2);
    return scale + scale % 2;
}

std::unique_ptr<ClipWriter> openMp4Clip(std::unique_ptr<OutputFile> file, int width, int height, std::string& error) {
    auto writer = std::make_unique<Mp4ClipWriter>(std::move(file), width, height);
    if (writer->start()) return writer;
    error = writer->error();
    return nullptr;
}

}  // namespace platform
