// Setup: the product disc's setup program.
#include "app/command_line.h"
#include "app/setup_app.h"
#include "platform/paths.h"

int main(int argc, char** argv) {
    // The program finds its data file beside itself, so its folder must be a drive first.
    qx::platform::MapProgramFolder();
    CSetupApp app(qx::app::JoinArguments(argc, argv));
    return app.Run();
}
