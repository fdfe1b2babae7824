#pragma once
// The diagnostic log: time-stamped lines appended to a text file. The log never
// reports a problem of its own: a line that cannot be written is dropped.

#include "error/printf_format.h"

namespace kerfo {

// Makes the file name in the temporary folder the log path and returns it. The
// log keeps its own copy. The next message starts with a date banner.
const char* SetLogPath(const char* fileName);

// Makes path the log path unchanged and returns it. The path is not copied: the
// caller keeps it alive while it is the log path. The next message starts with
// a date banner.
const char* SetLogFullPath(const char* path);

// The current log path, or null when none is set.
const char* GetLogPath();

// Appends the formatted text (at most 512 characters) and a line feed.
void LogLine(const char* format, ...) KERFO_PRINTF_FORMAT(1, 2);

// Appends "HH:MM:SS message", preceded by a three-line date banner when the date
// differs from that of the last banner.
void LogMessage(const char* format, ...) KERFO_PRINTF_FORMAT(1, 2);

// Logs the program text followed by each argument after one blank, unquoted.
void LogCommand(const char* program, int count, const char* const* arguments);

// Logs the heading, then one line per 16 bytes: the bytes in hexadecimal, then
// the bytes as characters ('.' for those that don't print).
void LogHexDump(const char* heading, int length, const void* data);

}  // namespace kerfo
