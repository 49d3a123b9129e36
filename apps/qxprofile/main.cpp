// qxprofile: shows a disc author how the setup program reads a profile file: its sections,
// a section's entries, and single values as text or number.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/win_types.h"
#include "profile/profile.h"

namespace {

namespace fs = std::filesystem;
using qx::platform::DWORD;

constexpr int kExitReadError = 1;
constexpr int kExitUsage = 2;
// The buffer the configuration accessor reads values into, so long expansions fail alike.
constexpr DWORD kValueBufferSize = 16384;
constexpr DWORD kMaxListSize = 64u * 1024 * 1024;

constexpr const char* kProgramHelp =
    "Usage: qxprofile COMMAND [ARGS]\n"
    "Shows how the setup program reads a profile file.\n"
    "\n"
    "Commands:\n"
    "  sections FILE            section names, one per line, in file order\n"
    "  keys FILE SECTION        a section's entries as the program lists them\n"
    "  get [--second FILE] [--escapes] FILE SECTION KEY\n"
    "                           a value with STRINGS references expanded\n"
    "  dword FILE SECTION KEY   a value read as an unsigned number\n"
    "\n"
    "FILE is a host path. Texts are printed as the file's bytes. When a lookup fails the\n"
    "exit status is the reader's result code (13 not found, 14 too long).\n"
    "Run 'qxprofile COMMAND --help' for one command.\n";

constexpr const char* kSectionsHelp =
    "Usage: qxprofile sections FILE\n"
    "Prints the file's section names, one per line, in file order.\n";

constexpr const char* kKeysHelp =
    "Usage: qxprofile keys FILE SECTION\n"
    "Prints one line per entry of SECTION: \"key = value\" with STRINGS references and\n"
    "escapes converted, or the key alone for a line without a value.\n";

constexpr const char* kGetHelp =
    "Usage: qxprofile get [--second FILE2] [--escapes] FILE SECTION KEY\n"
    "Prints the first value of KEY in SECTION with STRINGS references expanded.\n"
    "  --second FILE2  a second file whose STRINGS section is searched first\n"
    "  --escapes       convert \\r and \\n in the value\n"
    "  --              ends the options\n";

constexpr const char* kDwordHelp =
    "Usage: qxprofile dword FILE SECTION KEY\n"
    "Prints the first value of KEY in SECTION read as a number, in unsigned decimal.\n";

int UsageError(const std::string& reason) {
    std::fprintf(stderr, "qxprofile: %s (try 'qxprofile --help')\n", reason.c_str());
    return kExitUsage;
}

bool IsHelp(std::string_view arg) {
    return arg == "--help" || arg == "-h";
}

// The file's Windows path, with its host folder mapped as a drive when no drive holds it.
std::optional<std::string> MachinePath(const std::string& host_file) {
    std::error_code ec;
    if (!fs::is_regular_file(host_file, ec)) {
        return std::nullopt;
    }
    return qx::platform::MapHostFile(host_file);
}

// Loads FILE (and the second file); prints the reason and returns false when one is unreadable.
bool Load(CProfile* profile, const std::string& file, const std::string* second) {
    std::optional<std::string> main_path = MachinePath(file);
    std::optional<std::string> second_path;
    if (second != nullptr) {
        second_path = MachinePath(*second);
    }
    if (main_path) {
        profile->Create(main_path->c_str(), second_path ? second_path->c_str() : nullptr, false);
    }
    if (!profile->IsLoaded()) {
        std::fprintf(stderr, "qxprofile: cannot read %s\n", file.c_str());
        return false;
    }
    if (second != nullptr && !profile->IsSecondLoaded()) {
        std::fprintf(stderr, "qxprofile: cannot read %s\n", second->c_str());
        return false;
    }
    return true;
}

int LookupFailed(DWORD result, const std::string& what) {
    const char* reason = result == qx::platform::kErrorInvalidData   ? "not found"
                         : result == qx::platform::kErrorOutOfMemory ? "too long"
                                                                     : "failed";
    std::fprintf(stderr, "qxprofile: %s: %s (%u)\n", what.c_str(), reason,
                 static_cast<unsigned>(result));
    return static_cast<int>(result);
}

// Prints a list of NUL-terminated entries, one per line.
void PrintList(const std::vector<char>& list) {
    for (const char* entry = list.data(); *entry != '\0';
         entry += std::string_view(entry).size() + 1) {
        std::fwrite(entry, 1, std::string_view(entry).size(), stdout);
        std::fputc('\n', stdout);
    }
}

// Calls read with growing buffers while it reports a buffer too small.
template <typename Read>
DWORD ReadList(std::vector<char>* list, Read read) {
    DWORD size = kValueBufferSize;
    for (;;) {
        list->assign(size, '\0');
        const DWORD result = read(list->data(), size);
        if (result != qx::platform::kErrorOutOfMemory || size >= kMaxListSize) {
            return result;
        }
        size *= 2;
    }
}

int Sections(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return UsageError("sections needs FILE");
    }
    CProfile profile;
    if (!Load(&profile, args[0], nullptr)) {
        return kExitReadError;
    }
    std::vector<char> list;
    const DWORD result = ReadList(&list, [&](char* buffer, DWORD size) {
        return profile.GetSectionName(buffer, size, true);
    });
    if (result != qx::platform::kErrorSuccess) {
        return LookupFailed(result, "sections of " + args[0]);
    }
    PrintList(list);
    return 0;
}

int Keys(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        return UsageError("keys needs FILE SECTION");
    }
    CProfile profile;
    if (!Load(&profile, args[0], nullptr)) {
        return kExitReadError;
    }
    std::vector<char> list;
    const DWORD result = ReadList(&list, [&](char* buffer, DWORD size) {
        return profile.GetAllKey(args[1].c_str(), buffer, size, false);
    });
    if (result != qx::platform::kErrorSuccess) {
        return LookupFailed(result, "[" + args[1] + "]");
    }
    PrintList(list);
    return 0;
}

int Get(const std::vector<std::string>& args) {
    std::optional<std::string> second;
    bool escapes = false;
    std::vector<std::string> positional;
    bool options_done = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (options_done) {
            positional.push_back(args[i]);
        } else if (args[i] == "--") {
            options_done = true;
        } else if (args[i] == "--second") {
            if (i + 1 >= args.size()) {
                return UsageError("--second needs a file");
            }
            second = args[++i];
        } else if (args[i] == "--escapes") {
            escapes = true;
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return UsageError("unknown option " + args[i]);
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 3) {
        return UsageError("get needs FILE SECTION KEY");
    }
    CProfile profile;
    if (!Load(&profile, positional[0], second ? &*second : nullptr)) {
        return kExitReadError;
    }
    std::vector<char> value(kValueBufferSize, '\0');
    const DWORD result = profile.GetString(positional[1].c_str(), positional[2].c_str(),
                                           value.data(), kValueBufferSize, escapes);
    if (result != qx::platform::kErrorSuccess) {
        return LookupFailed(result, "[" + positional[1] + "] " + positional[2]);
    }
    std::fwrite(value.data(), 1, std::string_view(value.data()).size(), stdout);
    std::fputc('\n', stdout);
    return 0;
}

int Dword(const std::vector<std::string>& args) {
    if (args.size() != 3) {
        return UsageError("dword needs FILE SECTION KEY");
    }
    CProfile profile;
    if (!Load(&profile, args[0], nullptr)) {
        return kExitReadError;
    }
    DWORD number = 0;
    const DWORD result = profile.GetDword(args[1].c_str(), args[2].c_str(), &number);
    if (result != qx::platform::kErrorSuccess) {
        return LookupFailed(result, "[" + args[1] + "] " + args[2]);
    }
    std::printf("%u\n", static_cast<unsigned>(number));
    return 0;
}

struct Command {
    const char* name;
    const char* help;
    int (*run)(const std::vector<std::string>&);
};

constexpr Command kCommands[] = {
    {"sections", kSectionsHelp, Sections},
    {"keys", kKeysHelp, Keys},
    {"get", kGetHelp, Get},
    {"dword", kDwordHelp, Dword},
};

int Run(int argc, char** argv) {
    if (argc < 2) {
        return UsageError("no command given");
    }
    const std::string_view name = argv[1];
    if (IsHelp(name)) {
        std::fputs(kProgramHelp, stdout);
        return 0;
    }
    for (const Command& command : kCommands) {
        if (name != command.name) {
            continue;
        }
        std::vector<std::string> args(argv + 2, argv + argc);
        for (const std::string& arg : args) {
            if (arg == "--") {
                break;
            }
            if (IsHelp(arg)) {
                std::fputs(command.help, stdout);
                return 0;
            }
        }
        return command.run(args);
    }
    return UsageError("unknown command '" + std::string(name) + "'");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "qxprofile: %s\n", error.what());
        return kExitReadError;
    }
}
