# Cross-compiles genuine Windows x86-64 modules with mingw-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VANTLE_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${VANTLE_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTLE_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VANTLE_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VANTLE_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test executables run under Wine through the project's wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine)
