# Shared part of the mingw-w64 toolchain files: cross-compiles for Windows
# with Debian's mingw-w64 (POSIX thread model) and runs the results under
# Wine through scripts/win32/wine-run.sh.
#
# The including file sets VELNO_MINGW_TRIPLE (x86_64-w64-mingw32 or
# i686-w64-mingw32) first.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 10.0)

set(CMAKE_C_COMPILER ${VELNO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELNO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELNO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELNO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained executable: the compiler's runtime libraries (libgcc,
# libstdc++, winpthread) are linked in, so it imports only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine, in the prefix the rig scripts prepare.
get_filename_component(_velno_source_dir "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_velno_source_dir}/scripts/win32/wine-run.sh")

# pkg-config looks only at the target's libraries, never at the build
# machine's (which a cross build cannot link).
set(ENV{PKG_CONFIG_LIBDIR} "/usr/${VELNO_MINGW_TRIPLE}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "/usr/${VELNO_MINGW_TRIPLE}")
