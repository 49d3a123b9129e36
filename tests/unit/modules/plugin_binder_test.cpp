// The module binder with real shared objects on a test disc: where module paths come from, what
// a missing module or function logs, and that a module's fault costs one log line and the
// function's failure value, never the process.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "modules/fault_guard.h"
#include "modules/plugin_binder.h"
#include "platform/devices.h"
#include "platform/errors.h"
#include "platform/modules.h"
#include "platform/ports.h"
#include "platform/system_library.h"
#include "unit/context/context_fixture.h"

namespace {

namespace fs = std::filesystem;
namespace qp = qx::platform;
using qx::modules::PlugIn;

class PlugInBinderTest : public qx::test::DiscTest {
  protected:
    // Copies a built module onto the disc under a relative path.
    void PutModule(const char* built, const std::string& relative) const {
        std::string host_relative = relative;
        for (char& c : host_relative) {
            c = c == '\\' ? '/' : c;
        }
        fs::create_directories((Host() / host_relative).parent_path());
        fs::copy_file(built, Host() / host_relative, fs::copy_options::overwrite_existing);
    }

    std::string FileInfo(const std::string& lines) const {
        return "[INSTALLER_FILE_INFO]\r\n" + lines + "\r\n" + ProgramInfo();
    }

    static bool HasLineStarting(const std::vector<std::string>& lines, const std::string& start) {
        for (const std::string& line : lines) {
            if (line.rfind(start, 0) == 0) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(PlugInBinderTest, PathsComeFromVariantThenPlainSectionThenDefault) {
    WriteDisc(
        "[INSTALLER_FILE_INFO]\r\nINSTALLER_DLL = .\\plain\\run.dll\r\n"
        "UTILITY_DLL = .\\plain\\util.dll\r\n"
        "[INSTALLER_FILE_INFO.EN]\r\nINSTALLER_DLL = .\\variant\\run.dll\r\n" +
        ProgramInfo());
    PutModule(QXCRASH_MODULE, "variant\\run.dll");
    PutModule(QXUTIL_MODULE, "plain\\util.dll");
    PutModule(QXPRE_MODULE, "data\\QXpre.dll");
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    CPlugInBinder& binder = context.GetPlugIns();

    EXPECT_EQ(binder.Path(PlugIn::kInstaller), Folder() + "\\variant\\run.dll");
    EXPECT_EQ(binder.Path(PlugIn::kUtility), Folder() + "\\plain\\util.dll");
    EXPECT_EQ(binder.Path(PlugIn::kPreinstaller), Folder() + "\\data\\QXpre.dll");
    EXPECT_EQ(binder.Path(PlugIn::kResource), Folder() + "\\QXres.dll");
    EXPECT_TRUE(binder.IsLoaded(PlugIn::kInstaller));
    EXPECT_TRUE(binder.IsLoaded(PlugIn::kUtility));
    EXPECT_TRUE(binder.IsLoaded(PlugIn::kPreinstaller));
    EXPECT_FALSE(binder.IsLoaded(PlugIn::kDiagnosis));
    EXPECT_EQ(binder.UninstallerPath(), Folder() + "\\data\\QXDelAll.exe");
    EXPECT_EQ(binder.ManualViewerPath(), Folder() + "\\data\\Qxopen.exe");
    EXPECT_EQ(GetPlugIns(), &binder);

    const std::vector<std::string> lines = LogLines();
    const std::vector<std::pair<const char*, std::string>> failures = {
        {"Load Remote DLL fail", "data\\Qxrmtint.dll"},
        {"Load Diagnosis DLL fail", "data\\Qxdiag.dll"},
        {"Load TestPage DLL fail", "data\\Qxdiag.dll"},
        {"Load Netmanager DLL fail", "data\\QxNetMan.dll"},
        {"Load Resource DLL fail", "QXres.dll"},
        {"Load SetIP DLL fail", "data\\Setip.dll"},
    };
    for (const auto& [text, path] : failures) {
        EXPECT_TRUE(HasLine(lines, std::string(text) + " (" + Folder() + "\\" + path + ")"))
            << text;
    }
    EXPECT_TRUE(
        HasLineStarting(lines, "Error Code = 126 :The specified module could not be found."));
    EXPECT_FALSE(HasLineStarting(lines, "Load installer DLL fail"));
    EXPECT_FALSE(HasLineStarting(lines, "Load Utility DLL fail"));
}

TEST_F(PlugInBinderTest, TestPageModuleDefaultsToTheDiagnosisModule) {
    WriteDisc(FileInfo("DIAGNOSIS_DLL = .\\diag\\mine.dll\r\nNETWORKMAN_DLL =\r\n"));
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    EXPECT_EQ(context.GetPlugIns().Path(PlugIn::kTestPage), Folder() + "\\diag\\mine.dll");
    // An empty network module path is not loaded, and says so.
    EXPECT_TRUE(context.GetPlugIns().Path(PlugIn::kNetwork).empty());
    EXPECT_TRUE(HasLine(LogLines(), "Get network Netmanager DLL fail"));
}

TEST_F(PlugInBinderTest, FoldersAndTextFilesAreNotModules) {
    Write("data\\notes.txt", "This is not a module.\r\n");
    Write("data\\empty.dll", "");
    WriteDisc(
        FileInfo("INSTALLER_DLL = .\\data\r\nUTILITY_DLL = .\\data\\notes.txt\r\n"
                 "DIAGNOSIS_DLL = .\\data\\empty.dll\r\n"));
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    const std::vector<std::string> lines = LogLines();
    EXPECT_TRUE(HasLine(lines, "Load installer DLL fail (" + Folder() + "\\data)"));
    EXPECT_TRUE(HasLine(lines, "Load Utility DLL fail (" + Folder() + "\\data\\notes.txt)"));
    EXPECT_TRUE(HasLine(lines, "Load Diagnosis DLL fail (" + Folder() + "\\data\\empty.dll)"));
    EXPECT_TRUE(HasLineStarting(lines, "Error Code = 193 :%1 is not a valid Win32 application."));
    EXPECT_FALSE(context.GetPlugIns().MyInstall("k", "i", false));

    const struct {
        std::string path;
        qp::DWORD error;
    } cases[] = {
        {Folder() + "\\data", qp::kErrorBadExeFormat},
        {Folder() + "\\data\\notes.txt", qp::kErrorBadExeFormat},
        {Folder() + "\\data\\empty.dll", qp::kErrorBadExeFormat},
        {Folder() + "\\data\\absent.dll", qp::kErrorModNotFound},
        {"Q:\\no\\drive.dll", qp::kErrorModNotFound},
        {"", qp::kErrorModNotFound},
    };
    for (const auto& each : cases) {
        qp::SetLastError(0);
        qp::ModuleHandle module = qp::LoadModule(each.path.c_str());
        EXPECT_FALSE(module.IsValid()) << each.path;
        EXPECT_EQ(qp::GetLastError(), each.error) << each.path;
    }
}

TEST_F(PlugInBinderTest, MissingFunctionsLogNullAndGiveTheirFailureValues) {
    WriteDisc(FileInfo(""));
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    CPlugInBinder& b = context.GetPlugIns();
    char buffer[QX_DEVICE_ID_SIZE] = {};
    qp::LONG count = 7;
    qp::DWORD entries = 0;
    const struct {
        const char* line;
        std::function<long()> call;
        long failure;
    } cases[] = {
        {"Call MyInstall ==> NULL", [&] { return long{b.MyInstall("k", "i", true)}; }, 0},
        {"Call MyCreateShortCut ==> NULL", [&] { return long{b.MyCreateShortCut("k", "s")}; }, 0},
        {"Call GetDevicePort ==> NULL",
         [&] { return long{b.GetDevicePort("M", "D", "V", buffer, &count)}; }, 0},
        {"Call StartPreventPnP ==> NULL", [&] { return long{b.StartPreventPnP("MD")}; }, 0},
        {"Call EndPreventPnP ==> NULL", [&] { return long{b.EndPreventPnP("MD")}; }, 0},
        {"Call RemoveHardwareWizardDialog ==> NULL",
         [&] { return long{b.RemoveHardwareWizardDialog()}; }, 0},
        {"Call MySetForegroundNHWdDialog ==> NULL",
         [&] { return long{b.MySetForegroundNHWdDialog()}; }, 0},
        {"Call SystemRefresh ==> NULL", [&] { return long{b.SystemRefresh("MD", "V")}; }, 0},
        {"Call RemoveUnknownDev ==> NULL", [&] { return long{b.RemoveUnknownDev("MD", "V")}; }, 0},
        {"Call SaveFile ==> NULL", [&] { return long{b.SaveFile("C:\\f.reg", "Software")}; }, 0},
        {"Call GetDiskFreeSpaceQX ==> NULL", [&] { return long{b.GetDiskFreeSpaceQX("")}; }, 0},
        {"Call MyGetDeviceIDFromPort ==> NULL",
         [&] { return long{b.MyGetDeviceIDFromPort("USB001", buffer)}; }, 0},
        {"Call Diagnosis ==> NULL", [&] { return long{b.Diagnosis("M", "P", "D", "V")}; }, 1},
        {"Call DiagnosisEx ==> NULL", [&] { return long{b.DiagnosisEx("M", "P", "D", "V")}; }, 1},
        {"Call PrintTestPage ==> NULL", [&] { return long{b.PrintTestPage("P", "2", "3", "4")}; },
         -1},
        {"Call MetaTestPage ==> NULL", [&] { return long{b.MetaTestPage("P", "f")}; }, -1},
        {"Call PrintPrnFile ==> NULL", [&] { return long{b.PrintPrnFile("P", "f")}; }, 1},
        {"Call Preinstall ==> NULL", [&] { return long{b.Preinstall("/P x", nullptr)}; }, -1},
        {"Call MyGetPrinterDesc ==> NULL",
         [&] { return long{b.MyGetPrinterDesc("10.0.0.9", buffer, false, "public")}; }, 4096},
        {"Call MyGetIPX ==> NULL", [&] { return long{b.MyGetIPX("10.0.0.9", buffer, "public")}; },
         0},
        {"Call MySetNetworkPortEx ==> NULL",
         [&] {
             return long{
                 b.MySetNetworkPort("IP_1", "10.0.0.9", "", "", "m", "m.dll", "x", true, "public")};
         },
         0},
        {"Call MyDelNetworkPort ==> NULL",
         [&] { return long{b.MyDelNetworkPort("IP_1", "x", true)}; }, 0},
        {"Call SnmpDisvoery ==> NULL", [&] { return long{b.SnmpDiscovery(nullptr, "public")}; }, 0},
        {"Call SetIP ==> NULL", [&] { return long{b.SetIP("a", "b", "c", "d")}; }, 1},
        {"Call GetNetPrinter ==> NULL",
         [&] { return long{b.GetNetPrinter(buffer, sizeof(buffer), &entries)}; }, 1},
    };
    for (const auto& each : cases) {
        const size_t mark = Mark();
        EXPECT_EQ(each.call(), each.failure) << each.line;
        EXPECT_EQ(LinesSince(mark), std::vector<std::string>{each.line});
    }
    EXPECT_EQ(b.DoRemoteInstallAddress(), nullptr);
}

// The crash module stands in for the installer, utility and pre-installer modules.
class FaultingModuleTest : public PlugInBinderTest {
  protected:
    void SetUp() override {
        PlugInBinderTest::SetUp();
        WriteDisc(
            FileInfo("UTILITY_DLL = .\\data\\Qxrun.dll\r\n"
                     "PREINSTALLER_DLL = .\\data\\Qxrun.dll\r\n"));
        PutModule(QXCRASH_MODULE, "data\\Qxrun.dll");
        ASSERT_TRUE(Init(m_context));
    }

    CInstallContext m_context;
};

TEST_F(FaultingModuleTest, EachKindOfFaultCostsOneLineAndTheFailureValue) {
    CPlugInBinder& b = m_context.GetPlugIns();
    ASSERT_TRUE(b.IsLoaded(PlugIn::kInstaller));
    const struct {
        const char* kind;
        std::function<long()> call;
        const char* call_line;
        const char* fault_line;
        long failure;
    } cases[] = {
        {"null write",
         [&] { return long{b.MyInstall("Soft\\Inst", "Soft\\Inst\\Items\\A", true)}; },
         "Call MyInstall(0,Soft\\Inst,Soft\\Inst\\Items\\A,1)", "Call MyInstall() ==> GPF!!!!", 0},
        {"exception", [&] { return long{b.MyCreateShortCut("K", "S")}; },
         "Call MyCreateShortCut(0,K,S)", "Call MyCreateShortCut() ==> GPF!!!!", 0},
        {"division by zero", [&] { return long{b.GetDiskFreeSpaceQX("")}; },
         "Call GetDiskFreeSpaceQX()", "Call GetDiskFreeSpaceQX() ==> GPF!!!!", 0},
        {"stack overflow", [&] { return long{b.Preinstall("/P x", nullptr)}; },
         "Call Preinstall(/P x)", "Call Preinstall() ==> GPF!!!!", -1},
        {"illegal instruction", [&] { return long{b.SaveFile("C:\\a.reg", "Software")}; },
         "Call SaveFile(C:\\a.reg,Software)", "Call SaveFile() ==> GPF!!!!", 0},
        {"bus error", [&] { return long{b.RemoveHardwareWizardDialog()}; },
         "Call RemoveHardwareWizardDialog()", "Call RemoveHardwareWizardDialog() ==> GPF!!!!", 0},
    };
    // Twice: a handler that survives only its first fault would show on the second round.
    for (int round = 0; round < 2; ++round) {
        for (const auto& each : cases) {
            const size_t mark = Mark();
            EXPECT_EQ(each.call(), each.failure) << each.kind;
            EXPECT_EQ(LinesSince(mark), (std::vector<std::string>{each.call_line, each.fault_line}))
                << each.kind;
        }
    }
    // The module itself stays usable.
    EXPECT_TRUE(b.MySetForegroundNHWdDialog());
}

TEST_F(FaultingModuleTest, FaultsOnOtherThreadsStayOnThoseThreads) {
    CPlugInBinder& b = m_context.GetPlugIns();
    std::vector<int> results(4, -2);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&b, &results, i] {
            bool all_failed = true;
            for (int n = 0; n < 20; ++n) {
                all_failed = all_failed && !b.MyInstall("K", "I", false) &&
                             b.GetDiskFreeSpaceQX("") == 0 && b.Preinstall("x", nullptr) == -1;
            }
            results[i] = all_failed && b.MySetForegroundNHWdDialog() ? 1 : 0;
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(results, std::vector<int>(4, 1));
}

TEST(FaultGuardDeathTest, FaultsOutsideAModuleStillEndTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    qx::modules::InstallFaultHandlers();
    EXPECT_DEATH(
        {
            volatile int* nowhere = nullptr;
            *nowhere = 1;
        },
        "");
    EXPECT_DEATH(std::raise(SIGFPE), "");
}

TEST_F(PlugInBinderTest, AdvFunctionsFallBackToPlainOnesButNotAfterAFault) {
    char buffer[QX_DEVICE_ID_SIZE] = {};
    {
        WriteDisc(FileInfo("NETWORKMAN_DLL = .\\data\\plain.dll\r\n"));
        PutModule(QXPLAINNET_MODULE, "data\\plain.dll");
        CInstallContext context;
        ASSERT_TRUE(Init(context));
        CPlugInBinder& b = context.GetPlugIns();
        size_t mark = Mark();
        EXPECT_EQ(b.MyGetPrinterDesc("10.0.0.9", buffer, true, "secret"), 0u);
        EXPECT_STREQ(buffer, "MFG:Plain;MDL:10.0.0.9");
        EXPECT_TRUE(b.MyGetIPX("10.0.0.9", buffer, "secret"));
        EXPECT_STREQ(buffer, "00000001:0000C0FFEE00");
        EXPECT_TRUE(b.MySetNetworkPort("IP_10.0.0.9", "10.0.0.9", "", "", "Mon", "mon.dll", "Mutex",
                                       true, "secret"));
        EXPECT_EQ(b.SnmpDiscovery(nullptr, "secret"), 3);
        EXPECT_EQ(LinesSince(mark),
                  (std::vector<std::string>{
                      "Call MyGetPrinterDesc(10.0.0.9,1)", "Call MyGetIPX(10.0.0.9)",
                      "Call MySetNetworkPortEx(IP_10.0.0.9,10.0.0.9,,,Mon,mon.dll,Mutex,1)",
                      "Call SnmpDiscovery()"}));
    }
    {
        WriteDisc(FileInfo("NETWORKMAN_DLL = .\\data\\adv.dll\r\n"));
        PutModule(QXADVNET_MODULE, "data\\adv.dll");
        CInstallContext context;
        ASSERT_TRUE(Init(context));
        CPlugInBinder& b = context.GetPlugIns();
        size_t mark = Mark();
        EXPECT_EQ(b.MyGetPrinterDesc("10.0.0.9", buffer, false, "secret"), 1u);
        // A fault half-way through must not read as an address in the buffer.
        EXPECT_FALSE(b.MyGetIPX("10.0.0.9", buffer, "secret"));
        EXPECT_FALSE(b.MySetNetworkPort("P", "A", "", "", "M", "F", "X", false, "secret"));
        EXPECT_EQ(b.SnmpDiscovery(nullptr, "secret"), 1);
        const std::vector<std::string> lines = LinesSince(mark);
        EXPECT_TRUE(HasLine(lines, "Call MyGetPrinterDescAdv() ==> GPF!!!!"));
        EXPECT_TRUE(HasLine(lines, "Call MyGetIPXAdv() ==> GPF!!!!"));
        EXPECT_TRUE(HasLine(lines, "Call MySetNetworkPortAdv() ==> GPF!!!!"));
        EXPECT_TRUE(HasLine(lines, "Call SnmpDiscoveryAdv() ==> GPF!!!!"));
        EXPECT_FALSE(HasLine(lines, "Call MyGetIPX(10.0.0.9)"));
        for (const std::string& line : lines) {
            EXPECT_EQ(line.find("secret"), std::string::npos) << line;
        }
    }
}

TEST(PortListTest, SplitsAtMostCountNamesInsideTheBuffer) {
    const char list[] = "USB001\0USB002\0LPT1:\0";
    EXPECT_EQ(qx::modules::SplitPortList(list, sizeof(list), 2),
              (std::vector<std::string>{"USB001", "USB002"}));
    EXPECT_EQ(qx::modules::SplitPortList(list, sizeof(list), 9),
              (std::vector<std::string>{"USB001", "USB002", "LPT1:"}));
    const char unterminated[6] = {'U', 'S', 'B', '0', '0', '1'};
    EXPECT_TRUE(qx::modules::SplitPortList(unterminated, sizeof(unterminated), 1).empty());
    EXPECT_TRUE(qx::modules::SplitPortList(list, sizeof(list), -1).empty());
}

// The utility module against the machine's devices.
class UtilityModuleTest : public PlugInBinderTest {
  protected:
    void SetUp() override {
        PlugInBinderTest::SetUp();
        for (const qp::UsbPrinter& device : qp::EnumUsbPrinters()) {
            std::string error;
            qp::UnplugUsbPrinter(device.port, &error);
        }
        qp::RemoveAbsentUsbPrinters("", "");
        for (const qp::UsbPrinter& device : qp::EnumUsbPrinters()) {
            qp::RemoveAbsentUsbPrinters(device.mfg + device.mdl, device.vidpid);
        }
        WriteDisc(FileInfo(""));
        PutModule(QXUTIL_MODULE, "data\\Qxutil.dll");
        ASSERT_TRUE(Init(m_context));
    }

    std::string Plug(const std::string& mfg, const std::string& mdl, const std::string& vidpid,
                     const std::string& port = {}) {
        std::string error;
        std::optional<std::string> used = qp::PlugUsbPrinter(mfg, mdl, vidpid, port, &error);
        EXPECT_TRUE(used) << error;
        return used.value_or("");
    }

    CInstallContext m_context;
};

TEST_F(UtilityModuleTest, DevicePortsAndDeviceIdsComeFromConnectedPrinters) {
    CPlugInBinder& b = m_context.GetPlugIns();
    EXPECT_EQ(Plug("Other", "X1", "VID_9&PID_9"), "USB001");
    EXPECT_EQ(Plug("QxCtx", "M1", "VID_1&PID_2"), "USB002");
    EXPECT_EQ(Plug("QxCtx", "M1", "VID_1&PID_2", "USB007"), "USB007");

    std::vector<char> ports(QX_PORT_LIST_SIZE, 'x');
    qp::LONG count = 0;
    ASSERT_TRUE(b.GetDevicePort("QxCtx", "M1", "VID_1&PID_2", ports.data(), &count));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(qx::modules::SplitPortList(ports.data(), ports.size(), count),
              (std::vector<std::string>{"USB002", "USB007"}));

    char id[QX_DEVICE_ID_SIZE] = {};
    ASSERT_TRUE(b.MyGetDeviceIDFromPort("usb002", id));
    EXPECT_EQ(std::string(id).rfind("MFG:QxCtx;MDL:M1;", 0), 0u) << id;

    std::string error;
    ASSERT_TRUE(qp::UnplugUsbPrinter("USB002", &error));
    ASSERT_TRUE(b.GetDevicePort("QxCtx", "M1", "VID_1&PID_2", ports.data(), &count));
    EXPECT_EQ(count, 1);
    EXPECT_FALSE(b.MyGetDeviceIDFromPort("USB002", id));
    EXPECT_FALSE(b.MyGetDeviceIDFromPort("USB099", id));
    // The USB monitor keeps the port of a disconnected printer, and gives it back to it.
    const std::vector<std::string> names = qp::EnumPortNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "USB002"), names.end());
    EXPECT_EQ(Plug("QxCtx", "M1", "VID_1&PID_2"), "USB002");

    EXPECT_GT(b.GetDiskFreeSpaceQX(""), 0u);
}

TEST_F(UtilityModuleTest, FindDevicePortMakesTheDevicePortTheRunPort) {
    EXPECT_FALSE(m_context.FindDevicePort(false));
    EXPECT_FALSE(m_context.Paths().device_found);
    Plug("QxCtx", "M1", "VID_1&PID_2", "USB003");
    EXPECT_FALSE(m_context.FindDevicePort(true));  // no LPT port among them
    EXPECT_TRUE(m_context.Paths().device_found);
    EXPECT_TRUE(m_context.FindDevicePort(false));
    EXPECT_EQ(m_context.Paths().port, "USB003");
}

TEST_F(UtilityModuleTest, NewHardwareDialogFollowsPluggingAndPrevention) {
    CPlugInBinder& b = m_context.GetPlugIns();
    EXPECT_TRUE(b.RemoveUnknownDev("", ""));
    b.RemoveHardwareWizardDialog();
    EXPECT_FALSE(b.MySetForegroundNHWdDialog());  // no dialog open
    ASSERT_TRUE(b.StartPreventPnP("QxCtxM1"));
    Plug("QxCtx", "M1", "VID_1&PID_2");
    EXPECT_FALSE(b.RemoveHardwareWizardDialog());  // held back for this device
    ASSERT_TRUE(b.EndPreventPnP("QxCtxM1"));
    Plug("Other", "X1", "VID_9&PID_9");
    EXPECT_TRUE(b.MySetForegroundNHWdDialog());
    EXPECT_TRUE(b.RemoveHardwareWizardDialog());
    EXPECT_FALSE(b.MySetForegroundNHWdDialog());
}

TEST_F(UtilityModuleTest, SaveFileWritesTheKeyAsARegistryFile) {
    CRegistry::SetValue("Software\\QxSave\\Sub", "Name", "Value", qp::HKEY_LOCAL_MACHINE);
    const std::string file = Folder() + "\\saved.reg";
    ASSERT_TRUE(m_context.GetPlugIns().SaveFile(file.c_str(), "Software\\QxSave"));
    const std::string text = qx::test::ReadHostFile(Host() / "saved.reg");
    EXPECT_NE(text.find("Value"), std::string::npos) << text;
    CRegistry::DeleteKey("Software\\QxSave", false, qp::HKEY_LOCAL_MACHINE);
}

TEST(UsbDevicesTest, BadPlugRequestsAreRefused) {
    std::string error;
    EXPECT_FALSE(qp::PlugUsbPrinter("", "M", "V", "", &error));
    EXPECT_FALSE(qp::PlugUsbPrinter("A", "B", "V", "COM1", &error));
    EXPECT_FALSE(qp::PlugUsbPrinter("A\\B", "C", "V", "", &error));
    ASSERT_TRUE(qp::PlugUsbPrinter("A", "B", "VID_5", "USB050", &error)) << error;
    EXPECT_FALSE(qp::PlugUsbPrinter("C", "D", "VID_6", "USB050", &error));
    EXPECT_NE(error.find("already connected"), std::string::npos);
    EXPECT_TRUE(qp::UnplugUsbPrinter("USB050", &error));
    EXPECT_FALSE(qp::UnplugUsbPrinter("USB050", &error));
    EXPECT_EQ(qp::RemoveAbsentUsbPrinters("AB", ""), 1);
}

}  // namespace
