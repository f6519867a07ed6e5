// --animation FILE.mp4, .webm or .mkv: the frames at --fps and the
// module's first two sample inputs, as the run feeds them, as stereo sound
// from the same start. Frame i lasts from i / fps to (i + 1) / fps and shows
// the display as it stands at its end, as the GIF's frames do.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <vector>

#include "run/OutputFile.h"
#include "tool/MediaLibrary.h"
#include "tool/Outputs.h"

namespace zohost::tool {

namespace {

// What each container gets: the first video encoder this FFmpeg has.
struct VideoCodecs {
    const char* extension;
    const char* muxer;
    const char* video[2];
    AVPixelFormat pixels;
    const char* audio;
};

const VideoCodecs kCodecs[] = {
    {".mp4", "mp4", {"libx264", "mpeg4"}, AV_PIX_FMT_YUV420P, "aac"},
    {".webm", "webm", {"libvpx-vp9", "libvpx"}, AV_PIX_FMT_YUV420P, "libvorbis"},
    // Lossless both: the frames are the PNG frames, the sound the inputs to 16 bits.
    {".mkv", "matroska", {"ffv1", nullptr}, AV_PIX_FMT_BGRA, "flac"},
};

const VideoCodecs* videoCodecsFor(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const VideoCodecs& c : kCodecs)
        if (ext == c.extension) return &c;
    return nullptr;
}

const AVCodec* findVideoEncoder(const VideoCodecs& c) {
    for (const char* name : c.video)
        if (name)
            if (const AVCodec* codec = avcodec_find_encoder_by_name(name)) return codec;
    return nullptr;
}

// Quick settings: a scope picture is mostly one colour on black.
void tuneVideo(AVCodecContext* c) {
    const std::string name = c->codec->name;
    // No frames out of order: every frame is whole in the file, whatever reads it.
    c->max_b_frames = 0;
    if (name == "libx264") {
        av_opt_set(c->priv_data, "preset", "veryfast", 0);
        av_opt_set(c->priv_data, "crf", "18", 0);
    } else if (name == "libvpx-vp9" || name == "libvpx") {
        av_opt_set(c->priv_data, "deadline", "realtime", 0);
        av_opt_set(c->priv_data, "cpu-used", "8", 0);
        c->bit_rate = 2000000;
    } else if (name == "mpeg4") {
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = FF_QP2LAMBDA * 3;
    }
}

std::string avError(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

// One encoder and its stream.
struct Track {
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    ~Track() { avcodec_free_context(&codec); }
};

int audioRate(const AVCodec* c, int rate) {
    if (!c->supported_samplerates) return rate;
    int best = 0;
    for (const int* r = c->supported_samplerates; *r; ++r)
        if (best == 0 || std::abs(*r - rate) < std::abs(best - rate)) best = *r;
    return best;
}

class VideoOutput : public Output {
public:
    VideoOutput(const RenderJob& job, const VideoCodecs& codecs)
        : path_(job.animation), codecs_(codecs), fps_(job.fps), rate_(static_cast<int>(std::lround(job.rate))),
          width_(job.width), height_(job.height) {}
    ~VideoOutput() override;

    unsigned needs() const override { return kFrames | kBlocks; }
    bool begin(Instance& in, std::string& error) override;
    bool block(Instance& in, int count, std::string& error) override;
    bool frame(const Pixels& p, std::string& error) override;
    bool finish(std::string& error) override;
    bool commit(std::string& error) override { return file_.commit(error); }
    std::string written() const override;

private:
    bool fail(const std::string& why, std::string& error) const {
        error = "cannot write " + path_ + ": " + why;
        return false;
    }
    bool openVideo(std::string& error);
    bool openAudio(std::string& error);
    bool openTrack(Track& t, std::string& error);
    // Sends one frame (null: the end) and writes every packet it gives.
    bool encode(Track& t, AVFrame* frame, std::string& error);
    bool drainAudio(bool all, std::string& error);

    std::string path_;
    VideoCodecs codecs_;
    double fps_;
    int rate_, width_, height_;
    OutputFile file_;
    AVFormatContext* format_ = nullptr;
    Track video_, audio_;
    AVFrame* picture_ = nullptr;
    AVFrame* sound_ = nullptr;
    SwsContext* scale_ = nullptr;
    SwrContext* resample_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::vector<int> sound_pins_;
    std::vector<float> interleaved_;
    std::int64_t frames_ = 0, sound_pts_ = 0;
    bool header_ = false;
};

VideoOutput::~VideoOutput() {
    if (format_) {
        if (format_->pb) avio_closep(&format_->pb);
        avformat_free_context(format_);
    }
    av_frame_free(&picture_);
    av_frame_free(&sound_);
    av_packet_free(&packet_);
    sws_freeContext(scale_);
    swr_free(&resample_);
    if (fifo_) av_audio_fifo_free(fifo_);
}

bool VideoOutput::openTrack(Track& t, std::string& error) {
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) t.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int rc = avcodec_open2(t.codec, t.codec->codec, nullptr);
    if (rc < 0) return fail(std::string(t.codec->codec->name) + ": " + avError(rc), error);
    t.stream = avformat_new_stream(format_, nullptr);
    if (!t.stream || avcodec_parameters_from_context(t.stream->codecpar, t.codec) < 0) return fail("out of memory", error);
    t.stream->time_base = t.codec->time_base;
    return true;
}

bool VideoOutput::openVideo(std::string& error) {
    const AVCodec* c = findVideoEncoder(codecs_);
    video_.codec = avcodec_alloc_context3(c);
    if (!video_.codec) return fail("out of memory", error);
    const AVRational fps = av_d2q(fps_, 100000);
    video_.codec->width = width_;
    video_.codec->height = height_;
    video_.codec->time_base = av_inv_q(fps);
    video_.codec->framerate = fps;
    video_.codec->pix_fmt = codecs_.pixels;
    video_.codec->gop_size = 50;
    tuneVideo(video_.codec);
    if (!openTrack(video_, error)) return false;
    picture_ = av_frame_alloc();
    if (!picture_) return fail("out of memory", error);
    picture_->format = codecs_.pixels;
    picture_->width = width_;
    picture_->height = height_;
    scale_ = sws_getContext(width_, height_, AV_PIX_FMT_BGRA, width_, height_, codecs_.pixels, SWS_POINT, nullptr,
                            nullptr, nullptr);
    if (!scale_ || av_frame_get_buffer(picture_, 0) < 0) return fail("out of memory", error);
    return true;
}

bool VideoOutput::openAudio(std::string& error) {
    const AVCodec* c = avcodec_find_encoder_by_name(codecs_.audio);
    if (!c) return fail(std::string("this FFmpeg has no ") + codecs_.audio + " encoder", error);
    audio_.codec = avcodec_alloc_context3(c);
    if (!audio_.codec) return fail("out of memory", error);
    AVCodecContext* a = audio_.codec;
    a->sample_rate = audioRate(c, rate_);
    a->sample_fmt = c->sample_fmts ? c->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&a->ch_layout, 2);
    a->time_base = AVRational{1, a->sample_rate};
    a->bit_rate = 192000;
    if (!openTrack(audio_, error)) return false;
    AVChannelLayout stereo;
    av_channel_layout_default(&stereo, 2);
    if (swr_alloc_set_opts2(&resample_, &a->ch_layout, a->sample_fmt, a->sample_rate, &stereo, AV_SAMPLE_FMT_FLT,
                            rate_, 0, nullptr) < 0 ||
        swr_init(resample_) < 0)
        return fail("cannot convert the sound for " + std::string(codecs_.audio), error);
    fifo_ = av_audio_fifo_alloc(a->sample_fmt, 2, 4096);
    sound_ = av_frame_alloc();
    return fifo_ && sound_ ? true : fail("out of memory", error);
}

bool VideoOutput::begin(Instance& in, std::string& error) {
    // What the libraries tell of their work is not ours to print; their errors come back as codes.
    av_log_set_level(AV_LOG_QUIET);
    if (!file_.begin(path_, error)) return false;
    for (int p = 0; p < in.pinTable().count() && sound_pins_.size() < 2; ++p) {
        const PinDescription* d = in.pinTable().descriptionAt(p);
        if (d && d->direction == DR_IN && d->data_type == DT_FSAMPLE) sound_pins_.push_back(p);
    }
    if (avformat_alloc_output_context2(&format_, nullptr, codecs_.muxer, file_.workPath().c_str()) < 0)
        return fail(std::string("no ") + codecs_.muxer + " muxer", error);
    // The same run makes the same file.
    format_->flags |= AVFMT_FLAG_BITEXACT;
    packet_ = av_packet_alloc();
    if (!packet_ || !openVideo(error)) return !packet_ ? fail("out of memory", error) : false;
    if (!sound_pins_.empty() && !openAudio(error)) return false;
    int rc = avio_open(&format_->pb, file_.workPath().c_str(), AVIO_FLAG_WRITE);
    if (rc >= 0) rc = avformat_write_header(format_, nullptr);
    if (rc < 0) return fail(avError(rc), error);
    header_ = true;
    return true;
}

bool VideoOutput::encode(Track& t, AVFrame* frame, std::string& error) {
    int rc = avcodec_send_frame(t.codec, frame);
    while (rc >= 0) {
        rc = avcodec_receive_packet(t.codec, packet_);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) break;
        // A frame lasts one frame time, the last one too.
        if (&t == &video_) packet_->duration = 1;
        av_packet_rescale_ts(packet_, t.codec->time_base, t.stream->time_base);
        packet_->stream_index = t.stream->index;
        rc = av_interleaved_write_frame(format_, packet_);
    }
    return fail(avError(rc), error);
}

bool VideoOutput::frame(const Pixels& p, std::string& error) {
    if (av_frame_make_writable(picture_) < 0) return fail("out of memory", error);
    const std::uint8_t* src[] = {reinterpret_cast<const std::uint8_t*>(p.data)};
    const int stride[] = {p.width * 4};
    sws_scale(scale_, src, stride, 0, p.height, picture_->data, picture_->linesize);
    picture_->pts = frames_++;
    return encode(video_, picture_, error);
}

bool VideoOutput::block(Instance& in, int count, std::string& error) {
    if (sound_pins_.empty()) return true;
    interleaved_.assign(static_cast<std::size_t>(count) * 2, 0.0f);
    for (int c = 0; c < 2; ++c) {
        // One input: the same on both sides.
        const float* b = in.buffer(sound_pins_[std::min<std::size_t>(static_cast<std::size_t>(c), sound_pins_.size() - 1)]);
        for (int i = 0; b && i < count; ++i) interleaved_[static_cast<std::size_t>(i) * 2 + static_cast<std::size_t>(c)] = b[i];
    }
    const std::uint8_t* src[] = {reinterpret_cast<const std::uint8_t*>(interleaved_.data())};
    const int room = swr_get_out_samples(resample_, count);
    std::uint8_t** out = nullptr;
    if (room < 0 || av_samples_alloc_array_and_samples(&out, nullptr, 2, room, audio_.codec->sample_fmt, 0) < 0)
        return fail("out of memory", error);
    const int n = swr_convert(resample_, out, room, src, count);
    const bool ok = n >= 0 && av_audio_fifo_write(fifo_, reinterpret_cast<void**>(out), n) == n;
    av_freep(&out[0]);
    av_freep(&out);
    return ok ? drainAudio(false, error) : fail("cannot convert the sound", error);
}

// Whole encoder frames from the queue; with `all`, the rest as a shorter one.
bool VideoOutput::drainAudio(bool all, std::string& error) {
    const int size = audio_.codec->frame_size > 0 ? audio_.codec->frame_size : 1024;
    while (av_audio_fifo_size(fifo_) >= size || (all && av_audio_fifo_size(fifo_) > 0)) {
        const int n = std::min(size, av_audio_fifo_size(fifo_));
        av_frame_unref(sound_);
        sound_->nb_samples = n;
        sound_->format = audio_.codec->sample_fmt;
        sound_->sample_rate = audio_.codec->sample_rate;
        if (av_channel_layout_copy(&sound_->ch_layout, &audio_.codec->ch_layout) < 0 ||
            av_frame_get_buffer(sound_, 0) < 0 ||
            av_audio_fifo_read(fifo_, reinterpret_cast<void**>(sound_->data), n) != n)
            return fail("out of memory", error);
        sound_->pts = sound_pts_;
        sound_pts_ += n;
        if (!encode(audio_, sound_, error)) return false;
    }
    return true;
}

bool VideoOutput::finish(std::string& error) {
    if (!sound_pins_.empty()) {
        // What the resampler still holds, then the rest of the queue.
        std::uint8_t** out = nullptr;
        const int room = swr_get_out_samples(resample_, 0);
        if (room > 0 && av_samples_alloc_array_and_samples(&out, nullptr, 2, room, audio_.codec->sample_fmt, 0) >= 0) {
            const int n = swr_convert(resample_, out, room, nullptr, 0);
            if (n > 0) av_audio_fifo_write(fifo_, reinterpret_cast<void**>(out), n);
            av_freep(&out[0]);
            av_freep(&out);
        }
        if (!drainAudio(true, error) || !encode(audio_, nullptr, error)) return false;
    }
    if (!encode(video_, nullptr, error)) return false;
    const int rc = av_write_trailer(format_);
    if (rc < 0) return fail(avError(rc), error);
    avio_closep(&format_->pb);
    return true;
}

std::string VideoOutput::written() const {
    std::ostringstream line;
    line << "animation written to " << path_ << " (" << frames_ << " frames at " << fps_ << " fps, "
         << video_.codec->codec->name;
    if (audio_.codec) line << ", sound " << audio_.codec->codec->name << " " << audio_.codec->sample_rate << " Hz";
    line << ")";
    return line.str();
}

}  // namespace

// The media library's entry, found by name when zohost loads it.
extern "C" ZOHOST_MEDIA_ENTRY Output* zohostVideoOutput(const RenderJob& job, std::string& why) {
    const VideoCodecs* codecs = videoCodecsFor(job.animation);
    if (!codecs || !findVideoEncoder(*codecs)) {
        why = "this FFmpeg has no encoder for it";
        return nullptr;
    }
    if (codecs->pixels == AV_PIX_FMT_YUV420P && (job.width % 2 || job.height % 2)) {
        why = std::string(findVideoEncoder(*codecs)->name) + " takes an even width and height, not " +
              std::to_string(job.width) + "x" + std::to_string(job.height) + " (.mkv takes any)";
        return nullptr;
    }
    return new VideoOutput(job, *codecs);
}

}  // namespace zohost::tool
