#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "app/setup_app.h"
#include "platform/paths.h"
#include "support/temp_machine.h"

namespace {

int CountInLog(const std::string& text) {
    std::string log =
        qx::test::ReadHostFile(*qx::platform::WindowsToHostPath(GetLog()->FilePath()));
    int count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
        ++count;
    }
    return count;
}

bool WaitForLog(const std::string& text, int count) {
    for (int i = 0; i < 100; ++i) {
        if (CountInLog(text) >= count) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST(PnPThreads, CallTheModuleAtOnceThenEveryFiveSecondsUntilStopped) {
    CSetupApp app("");
    // No disc was read, so the utility module is not there: each call logs the missing function.
    const std::string call = "RemoveHardwareWizardDialog";
    ASSERT_TRUE(app.StartCompressPnPThread());
    ASSERT_TRUE(app.StartCompressPnPThread());  // already running: no second thread
    ASSERT_TRUE(WaitForLog(call, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(CountInLog(call), 1);  // the next call is five seconds away

    ASSERT_TRUE(app.StartActivePnPThread());
    EXPECT_TRUE(WaitForLog("MySetForegroundNHWdDialog", 1));

    app.StopCompressPnPThread();
    app.StopActivePnPThread();
    // A stopped thread is restarted by the next start and calls again at once.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(app.StartCompressPnPThread());
    EXPECT_TRUE(WaitForLog(call, 2));
    app.StopCompressPnPThread();
}

}  // namespace
