// libsndfile: WAV of 32-bit float or 16- or 24-bit PCM.
#include "run/SoundWriter.h"

#include <sndfile.h>

namespace zohost::tool {

SoundWriter::~SoundWriter() {
    if (file_) sf_close(static_cast<SNDFILE*>(file_));
}

bool SoundWriter::open(const std::string& path, int channels, int rate, SampleFormat format, std::string& error) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | (format == SampleFormat::Float32 ? SF_FORMAT_FLOAT
                                   : format == SampleFormat::Pcm16 ? SF_FORMAT_PCM_16
                                                                   : SF_FORMAT_PCM_24);
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
        error = sf_strerror(nullptr);
        return false;
    }
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // No PEAK chunk: it holds the time of writing, and the same run should give the same bytes.
    sf_command(f, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    file_ = f;
    channels_ = channels;
    format_ = format;
    return true;
}

bool SoundWriter::write(const float* interleaved, int frames, std::string& error) {
    SNDFILE* f = static_cast<SNDFILE*>(file_);
    if (sf_writef_float(f, interleaved, frames) != frames) {
        error = sf_strerror(f);
        return false;
    }
    frames_ += static_cast<unsigned long long>(frames);
    return true;
}

bool SoundWriter::close(std::string& error) {
    SNDFILE* f = static_cast<SNDFILE*>(file_);
    file_ = nullptr;
    if (f && sf_close(f) != 0) {
        error = "cannot finish the sound file";
        return false;
    }
    return true;
}

}  // namespace zohost::tool
