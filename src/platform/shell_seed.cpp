#include "platform/shell_seed.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_store.h"

namespace qx::platform {

namespace fs = std::filesystem;

namespace {

// Host path of a C:\ path of the machine at root (the seed folders are spelled as created).
std::optional<fs::path> HostOnC(const Machine& machine, const std::string& win_path) {
    std::optional<Drive> drive = machine.FindDrive('C');
    if (!drive || win_path.size() < 3) {
        return std::nullopt;
    }
    fs::path out = drive->host_root;
    size_t start = 3;
    while (start <= win_path.size()) {
        size_t end = win_path.find('\\', start);
        std::string part = win_path.substr(start, end == std::string::npos ? end : end - start);
        if (!part.empty()) {
            out /= part;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return out;
}

bool CopyProgram(const fs::path& from, const fs::path& to, std::string* error) {
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    // Copied beside the target and renamed over it: a copy of the helper that is still running
    // keeps its old file, where writing into it would fail with "text file busy".
    fs::path staging = to;
    staging += ".new";
    fs::copy_file(from, staging, fs::copy_options::overwrite_existing, ec);
    if (!ec) {
        fs::permissions(staging,
                        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec,
                        ec);
    }
    if (!ec) {
        fs::rename(staging, to, ec);
    }
    if (ec) {
        std::error_code ignored;
        fs::remove(staging, ignored);
        *error = "cannot copy " + from.string() + " to " + to.string() + ": " + ec.message();
        return false;
    }
    return true;
}

LONG SetText(RegistryBatch& batch, const std::string& path, const char* name,
             const std::string& text) {
    RegKeyId key = 0;
    if (LONG result =
            batch.CreateKey(HiveKey(RegHive::kLocalMachine), SplitRegistryPath(path), &key)) {
        return result;
    }
    std::string data = text;
    data.push_back('\0');
    return batch.SetValue(key, name, REG_SZ, data);
}

LONG WriteAssociations(RegistryBatch& batch, const std::string& command,
                       const std::string& browser) {
    const std::string classes = "SOFTWARE\\Classes\\";
    const std::vector<std::pair<const char*, const char*>> documents = {{".txt", "txtfile"},
                                                                        {".htm", "htmlfile"},
                                                                        {".html", "htmlfile"},
                                                                        {".pdf", "pdffile"},
                                                                        {".rtf", "rtffile"}};
    LONG result = 0;
    for (const auto& [ext, prog_id] : documents) {
        if (result == 0) {
            result = SetText(batch, classes + ext, "", prog_id);
        }
        if (result == 0) {
            result = SetText(batch, classes + prog_id + "\\shell\\open\\command", "", command);
        }
    }
    for (const char* cls : {"http", "https", "Folder", "Directory"}) {
        if (result == 0) {
            result = SetText(batch, classes + cls + "\\shell\\open\\command", "", command);
        }
    }
    for (const char* scheme : {"http", "https"}) {
        if (result == 0) {
            result = SetText(batch, classes + scheme, "URL Protocol", "");
        }
    }
    if (result == 0) {
        result =
            SetText(batch, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE",
                    "", browser);
    }
    return result;
}

}  // namespace

bool SeedShell(const fs::path& root, const MachineConfig& config, const fs::path& helper_program,
               std::string* error) {
    std::string ignored;
    std::string& reason = error != nullptr ? *error : ignored;
    std::unique_ptr<Machine> machine = Machine::Open(root, &reason);
    if (!machine) {
        return false;
    }
    const OsProfile& os = config.os;
    const std::string helper = os.windows_folder + "\\" + kShellHelperName;
    const std::string program_files =
        os.is_64bit && !os.program_files_64.empty() ? os.program_files_64 : os.program_files;
    const std::string browser = program_files + "\\Internet Explorer\\iexplore.exe";
    for (const std::string& target : {helper, browser}) {
        std::optional<fs::path> host = HostOnC(*machine, target);
        if (!host) {
            reason = "the machine has no drive for " + target;
            return false;
        }
        if (!CopyProgram(helper_program, *host, &reason)) {
            return false;
        }
    }
    std::unique_ptr<RegistryStore> store = RegistryStore::Open(root, config.code_page, &reason);
    if (!store) {
        return false;
    }
    const std::string command = "\"" + helper + "\" \"%1\"";
    LONG result = store->Batch(
        [&](RegistryBatch& batch) { return WriteAssociations(batch, command, browser); });
    if (result != 0) {
        reason = "cannot write the shell associations: error " + std::to_string(result);
        return false;
    }
    return true;
}

}  // namespace qx::platform
