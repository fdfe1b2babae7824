# Cross-builds for 64-bit Windows with Debian's MinGW-w64 compilers (the posix
# thread model, so that std::thread and std::mutex work).
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DKERFO_WINDOWS_PREFIX="$(scripts/windows-deps.sh --print-prefix)"
#
# Libraries, headers and CMake packages are looked up only below
# KERFO_WINDOWS_PREFIX, the CMAKE_PREFIX_PATH entries and MinGW-w64's own
# folder, never among the build machine's Linux ones; programs are the build
# machine's. The C and C++ runtimes (libgcc, libstdc++, winpthread) are linked
# statically, so that a program needs no DLL but its own and Windows' own.
# ctest runs the .exe files under Wine through scripts/wine-run.sh.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KERFO_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KERFO_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KERFO_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${KERFO_MINGW_HOST}-windres)
find_program(CMAKE_AR ${KERFO_MINGW_HOST}-ar REQUIRED)
find_program(CMAKE_RANLIB ${KERFO_MINGW_HOST}-ranlib REQUIRED)
find_program(CMAKE_STRIP ${KERFO_MINGW_HOST}-strip REQUIRED)
find_program(CMAKE_OBJDUMP ${KERFO_MINGW_HOST}-objdump REQUIRED)

# The prefix that scripts/windows-deps.sh builds; the environment variable of
# the same name serves where no cache entry is given.
if(NOT KERFO_WINDOWS_PREFIX AND DEFINED ENV{KERFO_WINDOWS_PREFIX})
    set(KERFO_WINDOWS_PREFIX "$ENV{KERFO_WINDOWS_PREFIX}")
endif()
set(KERFO_WINDOWS_PREFIX "${KERFO_WINDOWS_PREFIX}" CACHE PATH
    "Prefix of the Windows libraries (scripts/windows-deps.sh --print-prefix)")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KERFO_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${KERFO_MINGW_HOST} ${KERFO_WINDOWS_PREFIX} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the prefix's .pc files, not the Linux ones.
if(KERFO_WINDOWS_PREFIX)
    set(ENV{PKG_CONFIG_LIBDIR} "${KERFO_WINDOWS_PREFIX}/lib/pkgconfig")
else()
    set(ENV{PKG_CONFIG_LIBDIR} "/nonexistent")
endif()
unset(ENV{PKG_CONFIG_PATH})

# -static takes libgcc, libstdc++ and the winpthread that libstdc++ of the posix
# model needs from their archives; Windows' own DLLs still come in through
# their import libraries, and so does a DLL named by its import library.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

get_filename_component(KERFO_WINE_RUN "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${KERFO_WINE_RUN}")
