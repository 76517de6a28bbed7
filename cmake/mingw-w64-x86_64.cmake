# Cross-compiles for 64-bit Windows with MinGW-w64 (posix thread model, so that
# std::thread and std::mutex exist) and runs the resulting programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(GRIDMOOR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${GRIDMOOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GRIDMOOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${GRIDMOOR_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${GRIDMOOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained executable per program: the C and C++ runtimes and winpthread
# are linked in, so a program needs no DLL beyond those Windows ships.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs (and gtest's test discovery) run under Wine through this wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/excel/wine-run.sh)
