# Cross-compiles for Windows with Debian's mingw-w64 toolchain; the
# architecture's toolchain file sets CMAKE_SYSTEM_PROCESSOR and
# HALVEX_MINGW_PREFIX, then includes this one.
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_C_COMPILER NAMES ${HALVEX_MINGW_PREFIX}-gcc-posix ${HALVEX_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${HALVEX_MINGW_PREFIX}-g++-posix ${HALVEX_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${HALVEX_MINGW_PREFIX}-windres REQUIRED)
find_program(HALVEX_MINGW_OBJDUMP NAMES ${HALVEX_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${HALVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every Windows test runs under Wine on a virtual display.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/win/run-under-wine.sh)
