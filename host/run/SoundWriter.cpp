// libsndfile: WAV of 32-bit float or 16- or 24-bit PCM.
#include "run/SoundWriter.h"

#include "run/SndfileLibrary.h"

namespace zohost::tool {

SoundWriter::~SoundWriter() {
    if (file_) sndfile()->sf_close(static_cast<SNDFILE*>(file_));
}

bool SoundWriter::open(const std::string& path, int channels, int rate, SampleFormat format, std::string& error) {
    const Sndfile* lib = sndfile(&error);
    if (!lib) return false;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | (format == SampleFormat::Float32 ? SF_FORMAT_FLOAT
                                   : format == SampleFormat::Pcm16 ? SF_FORMAT_PCM_16
                                                                   : SF_FORMAT_PCM_24);
    SNDFILE* f = lib->sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
        error = lib->sf_strerror(nullptr);
        return false;
    }
    lib->sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // No PEAK chunk: it holds the time of writing, and the same run should give the same bytes.
    lib->sf_command(f, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    file_ = f;
    channels_ = channels;
    format_ = format;
    return true;
}

bool SoundWriter::write(const float* interleaved, int frames, std::string& error) {
    SNDFILE* f = static_cast<SNDFILE*>(file_);
    if (sndfile()->sf_writef_float(f, interleaved, frames) != frames) {
        error = sndfile()->sf_strerror(f);
        return false;
    }
    frames_ += static_cast<unsigned long long>(frames);
    return true;
}

bool SoundWriter::close(std::string& error) {
    SNDFILE* f = static_cast<SNDFILE*>(file_);
    file_ = nullptr;
    if (f && sndfile()->sf_close(f) != 0) {
        error = "cannot finish the sound file";
        return false;
    }
    return true;
}

}  // namespace zohost::tool
