// qxmachine: creates, inspects and drives an emulated machine (QXSETUP_MACHINE or the
// default folder).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device_command.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/shell_seed.h"
#include "reg_command.h"

namespace {

namespace qp = qx::platform;

const char* const kUsage =
    "usage: qxmachine COMMAND [ARGS]\n"
    "  init --os NAME [--lang 0xNNNN] [--codepage N] [--admin 0|1] [--force]\n"
    "  info                 the machine's identity and folders, key=value per line\n"
    "  path WINPATH         the host path of a Windows path\n"
    "  reg COMMAND ARGS     query, set, delete, export and import registry keys\n"
    "  device COMMAND ARGS  plug in, unplug and list USB printers\n"
    "The machine is the folder QXSETUP_MACHINE names, else $XDG_DATA_HOME/qxsetup/machine.\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"init",
     "usage: qxmachine init --os NAME [--lang 0xNNNN] [--codepage N] [--admin 0|1] [--force]\n"
     "Creates a machine running the named Windows version.\n"
     "  --os NAME      one of: " +
         qp::KnownOsNames() +
         "\n"
         "  --lang ID      system and user language id (default 0x0409)\n"
         "  --codepage N   ANSI code page (default 1252)\n"
         "  --admin 0|1    whether the user is an administrator (default 1)\n"
         "  --force        replace a machine that exists there\n"},
    {"info", "usage: qxmachine info\nPrints the machine's identity and folders as key=value.\n"},
    {"path", "usage: qxmachine path WINPATH\nPrints the host path of a Windows path.\n"},
    {"reg", "usage: qxmachine reg COMMAND ARGS (see qxmachine reg --help)\n"},
    {"device", "usage: qxmachine device COMMAND ARGS (see qxmachine device --help)\n"},
};

int Fail(const std::string& reason) {
    std::cerr << "qxmachine: " << reason << "\n";
    return 2;
}

std::optional<unsigned long> ParseNumber(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (end == nullptr || *end != '\0') {
        return std::nullopt;
    }
    return value;
}

bool WantsHelp(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            return true;
        }
    }
    return false;
}

int Init(const std::vector<std::string>& args) {
    qp::MachineSetup setup;
    bool force = false;
    bool os_given = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--force") {
            force = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            return Fail("init: " + arg + " needs a value (see qxmachine init --help)");
        }
        const std::string& value = args[++i];
        if (arg == "--os") {
            setup.os = value;
            os_given = true;
        } else if (arg == "--lang") {
            auto id = ParseNumber(value);
            if (!id || *id > 0xFFFF) {
                return Fail("init: --lang wants a language id such as 0x0409, not '" + value + "'");
            }
            setup.system_language = setup.user_language = static_cast<qp::LANGID>(*id);
        } else if (arg == "--codepage") {
            auto cp = ParseNumber(value);
            if (!cp || *cp == 0 || *cp > 65535) {
                return Fail("init: --codepage wants a code page number such as 1252, not '" +
                            value + "'");
            }
            setup.code_page = static_cast<qp::UINT>(*cp);
        } else if (arg == "--admin") {
            if (value != "0" && value != "1") {
                return Fail("init: --admin wants 0 or 1, not '" + value + "'");
            }
            setup.administrator = value == "1";
        } else {
            return Fail("init: unknown option " + arg + " (see qxmachine init --help)");
        }
    }
    if (!os_given) {
        return Fail("init: --os NAME is required (one of: " + qp::KnownOsNames() + ")");
    }
    std::string error;
    std::filesystem::path root = qp::Machine::DefaultRoot();
    if (!qp::Machine::Create(root, setup, force, &error)) {
        return Fail("init: " + error);
    }
    // The shell's helper is built beside this tool.
    std::error_code ec;
    std::filesystem::path helper =
        std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "qxshellopen";
    std::unique_ptr<qp::Machine> machine = qp::Machine::Open(root, &error);
    if (!machine || !qp::SeedShell(root, machine->Config(), helper, &error)) {
        return Fail("init: " + error);
    }
    std::cout << "machine " << setup.os << " created at " << root.string() << "\n";
    return 0;
}

std::string HostOf(const std::string& win_path) {
    auto host = qp::WindowsToHostPath(win_path);
    return host ? host->string() : "";
}

int Info(const std::vector<std::string>& args) {
    if (!args.empty()) {
        return Fail("info takes no arguments");
    }
    qp::Machine& machine = qp::Machine::Current();
    const qp::MachineConfig& config = machine.Config();
    const qp::OsProfile& os = config.os;
    char suite[16];
    std::snprintf(suite, sizeof(suite), "0x%04X", os.suite_mask);
    char system_lang[16];
    std::snprintf(system_lang, sizeof(system_lang), "0x%04X", config.system_language);
    char user_lang[16];
    std::snprintf(user_lang, sizeof(user_lang), "0x%04X", config.user_language);
    std::cout << "root=" << machine.Root().string() << "\n"
              << "os=" << os.name << "\n"
              << "platform_id=" << os.platform_id << "\n"
              << "version=" << os.major << "." << os.minor << "." << os.build << "\n"
              << "service_pack=" << os.service_pack << "\n"
              << "product_type=" << static_cast<unsigned>(os.product_type) << "\n"
              << "suite_mask=" << suite << "\n"
              << "is_64bit=" << os.is_64bit << "\n"
              << "wow64=" << os.wow64 << "\n"
              << "system_language=" << system_lang << "\n"
              << "user_language=" << user_lang << "\n"
              << "code_page=" << config.code_page << "\n"
              << "computer_name=" << config.computer_name << "\n"
              << "user_name=" << config.user_name << "\n"
              << "administrator=" << config.administrator << "\n";
    const std::vector<std::pair<std::string, std::string>> folders = {
        {"windows", machine.WindowsFolder()}, {"system", machine.SystemFolder()},
        {"inf", machine.InfFolder()},         {"program_files", machine.ProgramFilesFolder()},
        {"temp", machine.TempFolder()},
    };
    for (const auto& [key, path] : folders) {
        std::cout << key << "=" << path << "\n";
    }
    for (const auto& [key, path] : folders) {
        std::cout << key << "_host=" << HostOf(path) << "\n";
    }
    for (const qp::Drive& drive : machine.Drives()) {
        std::cout << "drive_" << drive.letter << "=" << qp::DriveTypeName(drive.type) << " "
                  << drive.host_root.string() << "\n";
    }
    return 0;
}

int Path(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return Fail("path wants one Windows path (see qxmachine path --help)");
    }
    auto host = qp::WindowsToHostPath(args[0]);
    if (!host) {
        return Fail("path: '" + args[0] + "' is on no drive of this machine");
    }
    std::cout << host->string() << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    auto help = kCommandHelp.find(command);
    if (help == kCommandHelp.end()) {
        return Fail("unknown command '" + command + "' (see qxmachine --help)");
    }
    if (WantsHelp(args)) {
        if (command == "reg") {
            return qx::tools::RunRegCommand(args);  // each of its commands has its own help
        }
        if (command == "device") {
            return qx::tools::RunDeviceCommand(args);
        }
        std::cout << help->second;
        return 0;
    }
    if (command == "init") {
        return Init(args);
    }
    // Everything else reads the machine: a damaged one is an error here, not a default.
    std::filesystem::path root = qp::Machine::DefaultRoot();
    std::string error;
    if (std::filesystem::exists(root / "machine.ini") && !qp::Machine::Open(root, &error)) {
        return Fail(error);
    }
    if (command == "info") {
        return Info(args);
    }
    if (command == "reg") {
        return qx::tools::RunRegCommand(args);
    }
    if (command == "device") {
        return qx::tools::RunDeviceCommand(args);
    }
    return Path(args);
}
