// The program's version and the texts built from it.

#include "app/version.h"

#include <cstdio>

#include "version_config.h"

#ifndef KERFO_MAKER_SITE
#define KERFO_MAKER_SITE "https://www.marrowlin.com"
#endif

namespace kerfo {
namespace {

char versionBuffer[16];

}  // namespace

void BuildVersionText() {
    std::snprintf(versionBuffer, sizeof versionBuffer, "%d.%02d", KERFO_VERSION_MAJOR,
                  KERFO_VERSION_MINOR);
}

const char* VersionText() {
    if (versionBuffer[0] == '\0') {
        BuildVersionText();
    }
    return versionBuffer;
}

std::string VersionMessage() {
    char text[256];
    std::snprintf(
        text, sizeof text,
        "Copyright (C) 2026 %s. All rights reserved.\n\nBuild date:\t%s\nBuild time:\t%s\n",
        MakerName, __DATE__, __TIME__);
    return text;
}

std::string HelpPageAddress() {
    return std::string(KERFO_MAKER_SITE) + "/Products/" + ProgramName + "/" + VersionText() +
           "/Help/";
}

}  // namespace kerfo
