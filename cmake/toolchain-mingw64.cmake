# 64-bit Windows (x86_64) with Debian's mingw-w64.
set(VELNO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
