// Readers of text files, [section] blocks and key=value settings, and the
// splitting of lines into fields.

#include "util/text_files.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "error/fatal.h"
#include "platform/platform.h"
#include "util/string_list.h"
#include "util/strings.h"

namespace kerfo {
namespace {

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

// The file at path opened for reading; null when it cannot be opened or is a
// folder (which a C stream would open on Linux and then fail to read).
File OpenForReading(const char* path) {
    File file(platform::OpenFile(path, "rb"));
    struct stat status;
    if (file && fstat(fileno(file.get()), &status) == 0 && S_ISDIR(status.st_mode)) {
        file.reset();
    }
    return file;
}

// Reads a file line by line as fgets does, in pieces of at most size - 1
// characters, with each CR LF delivered as a single line feed.
class LineReader {
  public:
    explicit LineReader(std::FILE* file) : file_(file) {}

    // Reads the next piece into buffer (size bytes, at least 2) and returns
    // true, or returns false at the end of the file.
    bool Read(char* buffer, int size) {
        startsLine_ = endedLine_;
        int length = 0;
        while (length < size - 1) {
            int c = std::getc(file_);
            if (c == EOF) {
                break;
            }
            if (c == '\r') {
                const int next = std::getc(file_);
                if (next == '\n') {
                    c = '\n';
                } else if (next != EOF) {
                    std::ungetc(next, file_);
                }
            }
            buffer[length++] = static_cast<char>(c);
            if (c == '\n') {
                break;
            }
        }
        buffer[length] = '\0';
        endedLine_ = length > 0 && buffer[length - 1] == '\n';
        return length > 0;
    }

    // Whether the last piece read began a line, rather than going on with one
    // too long for the previous read.
    bool StartsLine() const { return startsLine_; }

  private:
    std::FILE* file_;
    bool endedLine_ = true;
    bool startsLine_ = true;
};

// Turns every CR LF among the length bytes of text into a line feed, in place,
// and returns the new length.
std::size_t JoinCrLf(char* text, std::size_t length) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == '\r' && i + 1 < length && text[i + 1] == '\n') {
            continue;
        }
        text[kept++] = text[i];
    }
    return kept;
}

// The lines read by LoadLines: a header buffer and a line buffer of 256 bytes,
// reads of at most 255 bytes, terminator included.
constexpr int kLineBufferSize = 256;
constexpr int kLineReadLimit = kLineBufferSize - 1;

}  // namespace

char* ReadAll(const char* path) {
    const File file = OpenForReading(path);
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
        Fatal("Can't read file: %s", path);
    }
    const long size = std::ftell(file.get());
    if (size < 0) {
        Fatal("Can't read file: %s", path);
    }
    std::rewind(file.get());
    char* text = static_cast<char*>(std::malloc(static_cast<std::size_t>(size) + 1));
    if (text == nullptr) {
        Fatal("ReadAll: Out of memory");
    }
    const std::size_t read = std::fread(text, 1, static_cast<std::size_t>(size), file.get());
    text[JoinCrLf(text, read)] = '\0';
    return text;
}

int LoadLines(const char* path, const char* section, char*** lines) {
    const File file = OpenForReading(path);
    if (!file) {
        Fatal("LoadLines. %s file missing", path);
    }
    std::vector<OwnedText> found;
    char header[kLineBufferSize];
    const int headerLength = std::snprintf(header, sizeof header, "[%s]", section);
    // A name too long for the header buffer names no section that can be found.
    if (headerLength > 0 && headerLength < kLineBufferSize) {
        LineReader reader(file.get());
        char line[kLineBufferSize];
        bool inSection = false;
        while (!inSection && reader.Read(line, kLineReadLimit)) {
            inSection = reader.StartsLine() &&
                        strncasecmp(line, header, static_cast<std::size_t>(headerLength)) == 0;
        }
        while (inSection && reader.Read(line, kLineReadLimit)) {
            StripNewline(line);
            if (!reader.StartsLine() && line[0] == '\0') {
                continue;  // only the line feed of a line longer than one read
            }
            if (reader.StartsLine() && IsBlank(line)) {
                break;
            }
            found.emplace_back(DupString(line));
        }
    }
    char** array = AllocListSlots(found.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        array[i] = found[i].release();
    }
    *lines = array;
    return static_cast<int>(found.size());
}

void FreeLines(char** lines) {
    for (char** entry = lines; *entry != nullptr; ++entry) {
        std::free(*entry);
    }
}

void FreeCountedLines(int count, char** lines) {
    for (int i = 0; i < count; ++i) {
        std::free(lines[i]);  // free(nullptr) does nothing
    }
}

char* FindSetting(const char* path, const char* key, int size, char* buffer) {
    if (size < 2) {
        return nullptr;
    }
    const File file = OpenForReading(path);
    if (!file) {
        return nullptr;
    }
    LineReader reader(file.get());
    while (reader.Read(buffer, size)) {
        char* line = SkipBlanks(StripNewline(buffer));
        char* equals = std::strchr(line, '=');
        if (*line == '#' || equals == nullptr) {
            continue;
        }
        *equals = '\0';
        TrimTrailingSpaces(line);
        if (CompareNoCase(line, key) == 0 || std::strcmp(line, "*") == 0) {
            return TrimTrailingSpaces(equals + 1);
        }
    }
    return nullptr;
}

char* FindLineSetting(const char* key, int count, char* const* lines) {
    const std::size_t length = std::strlen(key);
    for (int i = 0; i < count; ++i) {
        if (lines[i] == nullptr) {
            continue;
        }
        char* line = SkipBlanks(lines[i]);
        if (*line == '#' || strnlen(line, length + 1) < length + 1 || line[length] != '=' ||
            strncasecmp(line, key, length) != 0) {
            continue;
        }
        return SkipBlanks(line + length + 1);
    }
    return nullptr;
}

int SplitFields(char separator, char* text, int max, char** fields) {
    int count = 0;
    char* p = text;
    while (count < max) {
        while (*p == ' ') {
            ++p;
        }
        if (*p == '\0') {
            break;
        }
        const bool quoted = *p == '"';
        if (quoted) {
            ++p;
        }
        const char end = quoted ? '"' : separator;
        fields[count++] = p;
        while (*p != '\0' && *p != end) {
            ++p;
        }
        if (*p == '\0') {
            break;
        }
        *p++ = '\0';
        if (quoted && *p == separator && separator != '\0') {
            ++p;
        }
    }
    fields[count] = nullptr;
    return count;
}

int SplitWords(char* text, int max, char** fields) {
    return SplitFields(' ', text, max, fields);
}

char* StripNewline(char* text) {
    const std::size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == '\n') {
        text[length - 1] = '\0';
    }
    return text;
}

char* CleanLineEnds(char* text) {
    std::size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) {
        text[--length] = '\0';
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            text[i] = ' ';
        }
    }
    return text;
}

}  // namespace kerfo
