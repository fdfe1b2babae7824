# The program's sources, in two groups: those that need no image library (the
# front end, the platform layer, the support services and the utility library)
# and the cutting jobs, which call FreeImage. The fuzz build takes the first
# group alone. Paths are relative to src/. The platform layer has one backend
# file per system for each of its services: *_posix.cpp or *_win32.cpp.
if(WIN32)
    set(KERFO_PLATFORM win32)
else()
    set(KERFO_PLATFORM posix)
endif()
set(KERFO_BASE_SOURCES
    app/args.cpp
    app/messages.cpp
    app/version.cpp
    platform/dialog_${KERFO_PLATFORM}.cpp
    platform/platform.cpp
    platform/platform_${KERFO_PLATFORM}.cpp
    platform/safe_file.cpp
    platform/safe_file_${KERFO_PLATFORM}.cpp
    platform/system_${KERFO_PLATFORM}.cpp
    support/log.cpp
    support/paths.cpp
    util/string_list.cpp
    util/strings.cpp
    util/text_files.cpp
)
if(WIN32)
    # Texts and paths for the ...W calls, which every Windows backend uses.
    list(APPEND KERFO_BASE_SOURCES platform/wide_win32.cpp)
endif()
set(KERFO_PICTURE_SOURCES
    app/dispatch.cpp
    app/startup.cpp
    cut/bmp_file.cpp
    cut/cut_grid.cpp
    cut/cut_to_size.cpp
    cut/exif.cpp
    cut/lossless.cpp
    cut/picture_file.cpp
    cut/picture_header.cpp
    cut/pieces.cpp
    cut/png_chunks.cpp
    cut/size_spec.cpp
)
