// Running a program and changing the environment on Windows: CreateProcessA
// with a quoted command line, the standard streams through pipes that threads
// read and write, and an environment block of our own.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "test_support.h"

namespace kerfo::test {
namespace {

// A handle closed when the object goes.
class Handle {
  public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    HANDLE* Address() { return &handle_; }
    void Close() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
        handle_ = nullptr;
    }

  private:
    HANDLE handle_ = nullptr;
};

// One argument as the C runtime's command-line parser reads it back: inside
// double quotes when it is empty or holds a blank, a tab, a line end or a
// double quote; a double quote is escaped with a backslash, and the
// backslashes in front of one (or of the closing quote) are doubled.
void AppendQuoted(std::string& line, const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\r\v\"") == std::string::npos) {
        line += argument;
        return;
    }
    line += '"';
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            backslashes = backslashes * 2 + 1;
        }
        line.append(backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

// The environment block CreateProcessA takes: NAME=value texts one after the
// other, each with its null, and one more null at the end; sorted by name in
// any case, as ChildEnvironment gives them.
std::string EnvironmentBlock(const std::vector<std::string>& variables) {
    std::string block;
    for (const std::string& variable : variables) {
        block += variable;
        block += '\0';
    }
    if (variables.empty()) {
        block += '\0';
    }
    block += '\0';
    return block;
}

// A pipe whose one end the child inherits.
struct Pipe {
    Handle read;
    Handle write;
    explicit Pipe(bool childReads) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        if (!CreatePipe(read.Address(), write.Address(), &inherit, 0)) {
            throw std::runtime_error("CreatePipe failed");
        }
        // Our end stays ours: a child that held it would keep the pipe open.
        SetHandleInformation(childReads ? write.get() : read.get(), HANDLE_FLAG_INHERIT, 0);
    }
};

void ReadPipe(HANDLE from, std::string& into) {
    char buffer[65536];
    DWORD count = 0;
    while (::ReadFile(from, buffer, sizeof buffer, &count, nullptr) && count > 0) {
        into.append(buffer, count);
    }
}

void WritePipe(HANDLE to, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - written, 65536));
        DWORD count = 0;
        if (!::WriteFile(to, text.data() + written, chunk, &count, nullptr)) {
            break;  // the child closed its input
        }
        written += count;
    }
}

}  // namespace

std::string KerfoBinary() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) {
        throw std::runtime_error("GetModuleFileNameA failed");
    }
    std::string folder(path, length);
    folder.erase(folder.find_last_of("\\/") + 1);
    const std::string built = KERFO_BINARY;
    return folder + built.substr(built.find_last_of("\\/") + 1);
}

RunResult Run(const std::string& program, const std::vector<std::string>& arguments,
              const RunOptions& options) {
    RunResult result;
    if (options.fileSizeLimit || options.user) {
        ADD_FAILURE() << "Windows can't limit a child's file sizes or run it as another user: "
                         "this test is for POSIX systems only";
        return result;
    }
    std::string line;
    AppendQuoted(line, program);
    for (const std::string& argument : arguments) {
        line += ' ';
        AppendQuoted(line, argument);
    }
    std::string environment = EnvironmentBlock(ChildEnvironment(options));

    Pipe input(true), output(false), error(false);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.read.get();
    startup.hStdOutput = output.write.get();
    startup.hStdError = error.write.get();
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        environment.data(),
                        options.workingFolder.empty() ? nullptr : options.workingFolder.c_str(),
                        &startup, &process)) {
        const DWORD code = GetLastError();
        const bool missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
                             code == ERROR_BAD_EXE_FORMAT;
        // A missing working folder fails like a missing program: tell them apart.
        const bool folderMissing =
            !options.workingFolder.empty() &&
            GetFileAttributesA(options.workingFolder.c_str()) == INVALID_FILE_ATTRIBUTES;
        result.exitCode = missing && !folderMissing ? 127 : 126;
        result.err = "could not start " + program + " (error " + std::to_string(code) + ")";
        return result;
    }
    Handle processHandle(process.hProcess);
    Handle threadHandle(process.hThread);
    // The child's ends are the child's now: the pipes end when it does.
    input.read.Close();
    output.write.Close();
    error.write.Close();

    // Every stream has a thread of its own, so that a child that fills one
    // pipe while we wait on another never stops both.
    std::thread writer([&] {
        WritePipe(input.write.get(), options.input);
        input.write.Close();
    });
    std::thread outReader([&] { ReadPipe(output.read.get(), result.out); });
    std::thread errReader([&] { ReadPipe(error.read.get(), result.err); });
    WaitForSingleObject(processHandle.get(), INFINITE);
    outReader.join();
    errReader.join();
    // A child that exited without reading all of its input broke the pipe,
    // which ended the writer.
    writer.join();
    DWORD exitCode = 0;
    GetExitCodeProcess(processHandle.get(), &exitCode);
    result.exitCode = static_cast<int>(exitCode);
    return result;
}

void SetEnv(const std::string& name, const std::string& value) {
    _putenv_s(name.c_str(), value.c_str());
}

void UnsetEnv(const std::string& name) {
    _putenv_s(name.c_str(), "");
}

}  // namespace kerfo::test
