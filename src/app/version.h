#pragma once
// The program's name, version and the texts built from them.

#include <string>

namespace kerfo {

constexpr const char* ProgramName = "Kerfo";

// The maker's name, which names the per-user folder.
constexpr const char* MakerName = "Marrowlin";

// Formats "%d.%02d" from the major and minor version into the process-wide
// version buffer ("1.12").
void BuildVersionText();

// The version buffer; built on first use when BuildVersionText has not run yet.
const char* VersionText();

// The message that -ver shows: the ownership line, an empty line, then the
// build date and time.
std::string VersionMessage();

// The address of the online help page of this program and version.
std::string HelpPageAddress();

}  // namespace kerfo
