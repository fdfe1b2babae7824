// The program's entry: hands the arguments to the platform layer and runs.

#include "app/dispatch.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    kerfo::platform::SetProcessArguments(argc, argv);
    return kerfo::WinMain();
}
