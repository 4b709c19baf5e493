# Cross-build for Windows with mingw-w64 (Debian's posix-threads flavour),
# against the real Windows headers. QRVX_MINGW_ARCH picks the width: x86_64
# (64-bit, the default) or i686 (32-bit):
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DQRVX_MINGW_ARCH=i686 ...
# Programs built here run under Wine: CTest starts them through
# cmake/wine-run, in a throwaway prefix inside the build directory.
if(NOT QRVX_MINGW_ARCH)
  set(QRVX_MINGW_ARCH x86_64)
endif()
if(NOT QRVX_MINGW_ARCH MATCHES "^(x86_64|i686)$")
  message(FATAL_ERROR "QRVX_MINGW_ARCH is x86_64 or i686, not ${QRVX_MINGW_ARCH}")
endif()
# The test projects of try_compile read this file again: pass the width on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QRVX_MINGW_ARCH)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QRVX_MINGW_ARCH})
set(QRVX_MINGW_TRIPLE ${QRVX_MINGW_ARCH}-w64-mingw32)

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
