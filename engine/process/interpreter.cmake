# The interpreter glue of the process library: the game record and the
# bootstrap, the runtime's native loader, and the texture-atlas table.
# engine/process/CMakeLists.txt adds these to orv_process.
set(ORV_PROCESS_GAME_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/game_natives.cpp
  ${CMAKE_CURRENT_LIST_DIR}/interpreter_natives.cpp
  ${CMAKE_CURRENT_LIST_DIR}/texture_atlas.cpp
)
