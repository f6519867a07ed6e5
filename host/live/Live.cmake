# zohost --live, built into zohosttool: on Windows a native window, elsewhere
# an SDL2 window when SDL2 is found; without it --live says so.
set(zo_live_common
  live/LiveAudio.cpp
  live/LiveHost.cpp
  live/LiveKeys.cpp
  live/LiveLook.cpp
  live/LiveRun.cpp
  live/LiveSave.cpp)
# The probe tells whether the audio thread allocated (the status bar).
target_link_libraries(zohosttool PRIVATE zoprobe)
if(WIN32)
  target_sources(zohosttool PRIVATE ${zo_live_common}
    live/LiveAudioWin.cpp
    live/LiveWindowWin.cpp)
  target_link_libraries(zohosttool PRIVATE winmm)
  set(ZO_LIVE ON CACHE INTERNAL "zohost --live is built")
  return()
endif()
find_package(SDL2 CONFIG QUIET)
find_package(X11 QUIET)
if(SDL2_FOUND AND X11_FOUND)
  target_sources(zohosttool PRIVATE ${zo_live_common}
    live/LiveAudioSdl.cpp
    live/LiveVisual.cpp
    live/LiveWindowSdl.cpp)
  target_link_libraries(zohosttool PRIVATE SDL2::SDL2 X11::X11)
  set(ZO_LIVE ON CACHE INTERNAL "zohost --live is built")
else()
  target_sources(zohosttool PRIVATE live/LiveUnavailable.cpp)
  set(ZO_LIVE OFF CACHE INTERNAL "zohost --live is built")
endif()
