# Cross-build for 64-bit Windows with mingw-w64 (Debian's posix-threads flavour),
# against the real Windows headers. Programs built here run under Wine:
# CTest starts them through cmake/wine-run, in a throwaway prefix inside the
# build directory.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QRVX_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${QRVX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QRVX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QRVX_MINGW_TRIPLE}-windres)
set(QRVX_WIDL ${QRVX_MINGW_TRIPLE}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${QRVX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run ${CMAKE_BINARY_DIR}/wineprefix)
