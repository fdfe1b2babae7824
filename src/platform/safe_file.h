#pragma once
// Writing a file so that what was there before survives any failure.

#include <cstdio>
#include <string>

namespace kerfo::platform {

// The new contents go into a temporary file in the target's folder, which is
// renamed over the target only once every byte has reached it. Until Commit
// succeeds the target is untouched; the temporary file is removed when the
// object goes away uncommitted, and also when the process is interrupted,
// terminated or hung up while the file is being written.
class ReplacementFile {
  public:
    explicit ReplacementFile(std::string target);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates the temporary file. Returns false, with Error() telling why, when
    // it cannot be created.
    bool Open();

    // The stream to write the new contents to; valid after a successful Open.
    std::FILE* Stream() const { return stream_; }

    // Flushes and closes the temporary file and renames it over the target.
    // Returns false, with Error() telling why, when any byte failed to reach
    // the file or the rename failed; the target is then unchanged.
    bool Commit();

    // Why the last Open or Commit failed.
    const std::string& Error() const { return error_; }

  private:
    void Discard();
    void SetErrorFromErrno(const char* what);

    std::string target_;
    std::string temporary_;
    std::FILE* stream_ = nullptr;
    std::string error_;
};

}  // namespace kerfo::platform
