# 32-bit Windows (i686) with Debian's mingw-w64.
set(VELNO_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
