# zohost --live (zohostlive): on Windows a native window, elsewhere
# an SDL2 window when SDL2 is found; without it --live says so.
set(zo_live_common
  live/LiveAudio.cpp
  live/LiveHost.cpp
  live/LiveKeys.cpp
  live/LiveLook.cpp
  live/LiveRun.cpp
  live/LiveSave.cpp)
add_library(zohostlive STATIC)
target_link_libraries(zohostlive PUBLIC zohostrun
  # The probe tells whether the audio thread allocated (the status bar).
  PRIVATE zoprobe)
zo_warnings(zohostlive)
if(WIN32)
  target_sources(zohostlive PRIVATE ${zo_live_common}
    live/LiveAudioWin.cpp
    live/LiveKeysWin.cpp
    live/LiveWindowWin.cpp)
  target_link_libraries(zohostlive PRIVATE winmm)
  set(ZO_LIVE ON CACHE INTERNAL "zohost --live is built")
  return()
endif()
find_package(SDL2 CONFIG QUIET)
find_package(X11 QUIET)
if(SDL2_FOUND AND X11_FOUND)
  target_sources(zohostlive PRIVATE ${zo_live_common}
    live/LiveAudioSdl.cpp
    live/LiveKeysSdl.cpp
    live/LiveVisual.cpp
    live/LiveWindowSdl.cpp)
  target_link_libraries(zohostlive PRIVATE SDL2::SDL2 X11::X11)
  set(ZO_LIVE ON CACHE INTERNAL "zohost --live is built")
else()
  target_sources(zohostlive PRIVATE live/LiveUnavailable.cpp)
  set(ZO_LIVE OFF CACHE INTERNAL "zohost --live is built")
endif()
