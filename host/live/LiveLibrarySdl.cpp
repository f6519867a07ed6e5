// SDL2 is loaded when --live starts, not with the program: a render or
// --version then starts without SDL's sixty libraries. The SDL functions
// the live view calls are defined here, each a jump through a pointer that
// loadSdl() fills; nothing calls them before it has succeeded.
#include <SDL.h>

#include <string>

#include "run/SystemLibrary.h"

// Every SDL function used under host/live: result, name, parameters, arguments.
#define ZO_SDL_FUNCTIONS(X)                                                                                        \
    X(int, SDL_Init, (Uint32 flags), (flags))                                                                      \
    X(int, SDL_InitSubSystem, (Uint32 flags), (flags))                                                             \
    X(void, SDL_QuitSubSystem, (Uint32 flags), (flags))                                                            \
    X(void, SDL_Quit, (void), ())                                                                                  \
    X(const char*, SDL_GetError, (void), ())                                                                       \
    X(SDL_bool, SDL_SetHint, (const char* name, const char* value), (name, value))                                 \
    X(int, SDL_setenv, (const char* name, const char* value, int overwrite), (name, value, overwrite))             \
    X(SDL_Window*, SDL_CreateWindow, (const char* title, int x, int y, int w, int h, Uint32 flags),                \
      (title, x, y, w, h, flags))                                                                                  \
    X(void, SDL_DestroyWindow, (SDL_Window * window), (window))                                                    \
    X(void, SDL_ShowWindow, (SDL_Window * window), (window))                                                       \
    X(void, SDL_SetWindowTitle, (SDL_Window * window, const char* title), (window, title))                         \
    X(void, SDL_GetWindowSize, (SDL_Window * window, int* w, int* h), (window, w, h))                              \
    X(SDL_Surface*, SDL_GetWindowSurface, (SDL_Window * window), (window))                                         \
    X(int, SDL_UpdateWindowSurface, (SDL_Window * window), (window))                                               \
    X(int, SDL_LockSurface, (SDL_Surface * surface), (surface))                                                    \
    X(void, SDL_UnlockSurface, (SDL_Surface * surface), (surface))                                                 \
    X(int, SDL_FillRect, (SDL_Surface * dst, const SDL_Rect* rect, Uint32 color), (dst, rect, color))              \
    X(Uint32, SDL_MapRGB, (const SDL_PixelFormat* format, Uint8 r, Uint8 g, Uint8 b), (format, r, g, b))           \
    X(int, SDL_ConvertPixels,                                                                                      \
      (int width, int height, Uint32 src_format, const void* src, int src_pitch, Uint32 dst_format, void* dst,    \
       int dst_pitch),                                                                                             \
      (width, height, src_format, src, src_pitch, dst_format, dst, dst_pitch))                                     \
    X(Uint32, SDL_RegisterEvents, (int numevents), (numevents))                                                    \
    X(int, SDL_PushEvent, (SDL_Event * event), (event))                                                            \
    X(int, SDL_WaitEventTimeout, (SDL_Event * event, int timeout), (event, timeout))                               \
    X(SDL_AudioDeviceID, SDL_OpenAudioDevice,                                                                      \
      (const char* device, int iscapture, const SDL_AudioSpec* desired, SDL_AudioSpec* obtained,                   \
       int allowed_changes),                                                                                       \
      (device, iscapture, desired, obtained, allowed_changes))                                                     \
    X(void, SDL_PauseAudioDevice, (SDL_AudioDeviceID dev, int pause_on), (dev, pause_on))                          \
    X(void, SDL_CloseAudioDevice, (SDL_AudioDeviceID dev), (dev))

namespace {

#define ZO_SDL_POINTER(result, name, params, args) result(SDLCALL* name) params = nullptr;
struct SdlFunctions {
    ZO_SDL_FUNCTIONS(ZO_SDL_POINTER)
};
#undef ZO_SDL_POINTER

SdlFunctions g_sdl;

}  // namespace

#define ZO_SDL_DEFINE(result, name, params, args) \
    extern "C" result SDLCALL name params { return g_sdl.name args; }
ZO_SDL_FUNCTIONS(ZO_SDL_DEFINE)
#undef ZO_SDL_DEFINE

namespace zohost::live {

// The library by its run-time name, as the package that ships it names it.
const char* const kSdlLibrary = "libSDL2-2.0.so.0";

bool loadSdl(std::string& error) {
    static bool loaded = false;
    if (loaded) return true;
    void* lib = tool::loadSystemLibrary(kSdlLibrary, "SDL2", error);
    if (!lib) return false;
    SdlFunctions found;
#define ZO_SDL_FIND(result, name, params, args) \
    if (!tool::findSystemFunction(lib, kSdlLibrary, "SDL2", #name, found.name, error)) return false;
    ZO_SDL_FUNCTIONS(ZO_SDL_FIND)
#undef ZO_SDL_FIND
    g_sdl = found;
    loaded = true;
    return true;
}

}  // namespace zohost::live
