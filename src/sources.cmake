# The program's sources, in two groups: those that need no image library (the
# front end, the platform layer, the support services and the utility library)
# and the cutting jobs, which call FreeImage. The fuzz build takes the first
# group alone. Paths are relative to src/. The platform layer has one backend
# file per system for each of its services: *_posix.cpp or *_win32.cpp.
# The floors of the program, lowest first: a file includes files of its own
# floor and of those below it, never of one above (the test
# Layers.NoIncludeRunsUpward checks every file in src/).
#   platform  the system's services, one backend file per system
#   error     the fatal path: Fatal and the error it throws
#   util      string lists, text files, string, process and number helpers,
#             and the command-line tokenizer that both the start-up and the
#             process helpers split with
#   support   the diagnostic log, paths and folders
#   formats   the readers of picture files' bytes (JPEG, PNG, BMP, EXIF),
#             which check a picture before the image library sees it
#   cut       picture files and the image library, sizes, the jobs
#   app       the entry, option extraction, dispatch and message boxes
set(KERFO_FLOORS platform error util support formats cut app)
if(WIN32)
    set(KERFO_PLATFORM win32)
else()
    set(KERFO_PLATFORM posix)
endif()
set(KERFO_BASE_SOURCES
    app/args.cpp
    app/messages.cpp
    app/version.cpp
    error/fatal.cpp
    platform/dialog_${KERFO_PLATFORM}.cpp
    platform/platform.cpp
    platform/platform_${KERFO_PLATFORM}.cpp
    platform/safe_file.cpp
    platform/safe_file_${KERFO_PLATFORM}.cpp
    platform/system_${KERFO_PLATFORM}.cpp
    support/log.cpp
    support/paths.cpp
    util/command_line.cpp
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
    cut/block_grid.cpp
    cut/cut_grid.cpp
    cut/cut_to_size.cpp
    cut/lossless.cpp
    cut/picture_file.cpp
    cut/picture_source.cpp
    cut/piece_set.cpp
    cut/pieces.cpp
    cut/size_spec.cpp
    formats/bmp_file.cpp
    formats/bytes.cpp
    formats/exif.cpp
    formats/jpeg_header.cpp
    formats/picture_claim.cpp
    formats/png_chunks.cpp
    formats/xmp.cpp
)
