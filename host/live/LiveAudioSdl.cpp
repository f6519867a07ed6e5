// LiveAudio's devices through SDL2 audio: the device threads call back
// into the shared copies of LiveAudio.cpp.
#include <SDL.h>

#include <algorithm>

#include "live/LiveAudio.h"

namespace zohost::live {

struct LiveAudio::Backend {
    static void outputCallback(void* self, std::uint8_t* stream, int len);
    static void inputCallback(void* self, std::uint8_t* stream, int len);
    SDL_AudioDeviceID output_device = 0;
    SDL_AudioDeviceID input_device = 0;
    bool audio_init = false;
};

void LiveAudio::BackendDelete::operator()(Backend* b) const { delete b; }

bool LiveAudio::openInput(int channel, std::string& error) {
    if (!backend_) backend_.reset(new Backend);
    Backend& b = *backend_;
    if (!b.audio_init && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        error = std::string("no audio: ") + SDL_GetError();
        return false;
    }
    b.audio_init = true;
    SDL_AudioSpec want{}, have{};
    want.freq = static_cast<int>(rate_);
    want.format = AUDIO_F32SYS;
    want.channels = static_cast<Uint8>(std::max(1, std::min(channel, 8)));
    want.samples = static_cast<Uint16>(std::min(block_, 4096));
    want.callback = &Backend::inputCallback;
    want.userdata = this;
    b.input_device = SDL_OpenAudioDevice(nullptr, 1, &want, &have, SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (!b.input_device) {
        error = std::string("no capture device: ") + SDL_GetError();
        return false;
    }
    if (channel > have.channels) {
        error = "the capture device has " + std::to_string(have.channels) + " channel" +
                (have.channels == 1 ? "" : "s") + ", not " + std::to_string(channel);
        SDL_CloseAudioDevice(b.input_device);
        b.input_device = 0;
        return false;
    }
    input_channels_ = have.channels;
    input_channel_ = channel - 1;
    input_open_ = true;
    return true;
}

bool LiveAudio::openOutput(std::string& note) {
    if (!backend_) backend_.reset(new Backend);
    Backend& b = *backend_;
    if (!b.audio_init && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        note = std::string("no audio: ") + SDL_GetError();
        return false;
    }
    b.audio_init = true;
    SDL_AudioSpec want{}, have{};
    want.freq = static_cast<int>(rate_);
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = &Backend::outputCallback;
    want.userdata = this;
    b.output_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!b.output_device) {
        note = std::string("no output device (") + SDL_GetError() + ")";
        return false;
    }
    output_channels_ = have.channels;
    output_frames_ = have.samples;
    output_open_ = true;
    return true;
}

void LiveAudio::start() {
    t0_ = std::chrono::steady_clock::now();
    started_ = true;
    if (!backend_) return;
    Backend& b = *backend_;
    if (b.input_device) SDL_PauseAudioDevice(b.input_device, 0);
    if (b.output_device) SDL_PauseAudioDevice(b.output_device, 0);
}

void LiveAudio::close() {
    input_open_ = output_open_ = false;
    if (!backend_) return;
    Backend& b = *backend_;
    if (b.input_device) SDL_CloseAudioDevice(b.input_device);
    if (b.output_device) SDL_CloseAudioDevice(b.output_device);
    b.input_device = b.output_device = 0;
    if (b.audio_init) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    b.audio_init = false;
}

void LiveAudio::Backend::outputCallback(void* self, std::uint8_t* stream, int len) {
    LiveAudio& a = *static_cast<LiveAudio*>(self);
    a.deviceOutput(reinterpret_cast<float*>(stream),
                   static_cast<std::size_t>(len) / sizeof(float) / static_cast<std::size_t>(a.output_channels_));
}

void LiveAudio::Backend::inputCallback(void* self, std::uint8_t* stream, int len) {
    LiveAudio& a = *static_cast<LiveAudio*>(self);
    a.deviceInput(reinterpret_cast<const float*>(stream),
                  static_cast<std::size_t>(len) / sizeof(float) / static_cast<std::size_t>(a.input_channels_));
}

}  // namespace zohost::live
