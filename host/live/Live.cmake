# zohost --live, built into zohosttool when SDL2 is found; without it --live
# says so.
find_package(SDL2 CONFIG QUIET)
find_package(X11 QUIET)
if(SDL2_FOUND AND X11_FOUND AND NOT WIN32)
  target_sources(zohosttool PRIVATE
    live/LiveAudio.cpp
    live/LiveHost.cpp
    live/LiveKeys.cpp
    live/LiveRun.cpp
    live/LiveVisual.cpp
    live/LiveWindow.cpp)
  target_link_libraries(zohosttool PRIVATE SDL2::SDL2 X11::X11)
  set(ZO_LIVE ON CACHE INTERNAL "zohost --live is built")
else()
  target_sources(zohosttool PRIVATE live/LiveUnavailable.cpp)
  set(ZO_LIVE OFF CACHE INTERNAL "zohost --live is built")
endif()
