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
    live/LiveLibrarySdl.cpp
    live/LiveVisual.cpp
    live/LiveWindowSdl.cpp)
  # Their headers only: both are loaded when --live runs (LiveLibrarySdl.cpp),
  # so that every other mode starts without them.
  target_include_directories(zohostlive SYSTEM PRIVATE
    $<TARGET_PROPERTY:SDL2::SDL2,INTERFACE_INCLUDE_DIRECTORIES> ${X11_INCLUDE_DIR})
  target_compile_definitions(zohostlive PRIVATE $<TARGET_PROPERTY:SDL2::SDL2,INTERFACE_COMPILE_DEFINITIONS>)
  target_link_libraries(zohostlive PRIVATE ${CMAKE_DL_LIBS})
  set(ZO_LIVE ON CACHE INTERNAL "zohost --live is built")
else()
  target_sources(zohostlive PRIVATE live/LiveUnavailable.cpp)
  set(ZO_LIVE OFF CACHE INTERNAL "zohost --live is built")
endif()
