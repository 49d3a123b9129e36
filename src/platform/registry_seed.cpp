#include "platform/registry_seed.h"

#include <cstdio>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_store.h"

namespace qx::platform {

namespace {

constexpr const char* kSeededMeta = "seeded_for";

// Writes values through a batch, keeping the first error.
class Seeder {
  public:
    explicit Seeder(RegistryBatch& batch) : m_batch(batch) {}

    void Text(RegHive hive, const std::string& path, std::string_view name, std::string_view text,
              DWORD type = REG_SZ) {
        std::string data(text);
        data.push_back('\0');
        Write(hive, path, name, type, data);
    }

    void Dword(RegHive hive, const std::string& path, std::string_view name, DWORD value) {
        char data[4];
        for (int i = 0; i < 4; ++i) {
            data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        }
        Write(hive, path, name, REG_DWORD, std::string_view(data, sizeof(data)));
    }

    void Meta(std::string_view name, std::string_view value) {
        if (m_result == 0) {
            m_result = m_batch.SetMeta(name, value);
        }
    }

    LONG Result() const { return m_result; }

  private:
    void Write(RegHive hive, const std::string& path, std::string_view name, DWORD type,
               std::string_view data) {
        if (m_result != 0) {
            return;
        }
        RegKeyId key = 0;
        m_result = m_batch.CreateKey(HiveKey(hive), SplitRegistryPath(path), &key);
        if (m_result == 0) {
            m_result = m_batch.SetValue(key, name, type, data);
        }
    }

    RegistryBatch& m_batch;
    LONG m_result = 0;
};

std::string Hex8(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%08X", static_cast<unsigned>(value));
    return text;
}

std::string Version9x(const OsProfile& os) {
    if (os.minor >= 90) {
        return "Windows Millennium Edition";
    }
    return os.minor >= 10 ? "Windows 98" : "Windows 95";
}

void SeedSoftware(Seeder& seed, const MachineConfig& config) {
    const OsProfile& os = config.os;
    const bool nt = os.platform_id == 2;
    struct View {
        std::string software;
        std::string program_files;
    };
    // On 64-bit Windows the 32-bit view (Wow6432Node) has its own copy with the x86 folder.
    std::vector<View> views = {{"SOFTWARE", os.is_64bit ? os.program_files_64 : os.program_files}};
    if (os.is_64bit) {
        views.push_back({"SOFTWARE\\Wow6432Node", os.program_files});
    }
    const std::string source_path = nt ? "D:\\" : os.windows_folder + "\\OPTIONS\\CABS";
    for (const View& view : views) {
        const std::string current = view.software + "\\Microsoft\\Windows\\CurrentVersion";
        seed.Text(RegHive::kLocalMachine, current, "ProgramFilesDir", view.program_files);
        seed.Text(RegHive::kLocalMachine, current, "CommonFilesDir",
                  view.program_files + "\\Common Files");
        seed.Text(RegHive::kLocalMachine, current + "\\Setup", "SourcePath", source_path);
        if (!nt) {
            seed.Text(RegHive::kLocalMachine, current, "SystemRoot", os.windows_folder);
            seed.Text(RegHive::kLocalMachine, current, "VersionNumber", os.version_number);
            seed.Text(RegHive::kLocalMachine, current, "Version", Version9x(os));
            continue;
        }
        const std::string nt_current = view.software + "\\Microsoft\\Windows NT\\CurrentVersion";
        seed.Text(RegHive::kLocalMachine, nt_current, "SystemRoot", os.windows_folder);
        seed.Text(RegHive::kLocalMachine, nt_current, "CurrentVersion",
                  std::to_string(os.major) + "." + std::to_string(os.minor));
        seed.Text(RegHive::kLocalMachine, nt_current, "CurrentBuildNumber",
                  std::to_string(os.build));
        if (!os.service_pack.empty()) {
            seed.Text(RegHive::kLocalMachine, nt_current, "CSDVersion", os.service_pack);
        }
    }
    if (os.is_64bit) {
        const std::string current = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
        seed.Text(RegHive::kLocalMachine, current, "ProgramFilesDir (x86)", os.program_files);
        seed.Text(RegHive::kLocalMachine, current, "CommonFilesDir (x86)",
                  os.program_files + "\\Common Files");
    }
}

void SeedFirewall(Seeder& seed, const OsProfile& os) {
    const std::string name = FirewallServiceName(os);
    if (name.empty()) {
        return;
    }
    const std::string key = std::string(kServicesKey) + "\\" + name;
    const bool vista = os.major >= 6;
    seed.Text(RegHive::kLocalMachine, key, "DisplayName",
              vista ? "Windows Firewall" : "Windows Firewall/Internet Connection Sharing (ICS)");
    seed.Text(RegHive::kLocalMachine, key, "ImagePath",
              vista ? "%SystemRoot%\\system32\\svchost.exe -k LocalServiceNoNetwork"
                    : "%SystemRoot%\\system32\\svchost.exe -k netsvcs",
              REG_EXPAND_SZ);
    seed.Dword(RegHive::kLocalMachine, key, "Start", 2);    // automatic
    seed.Dword(RegHive::kLocalMachine, key, "Type", 0x20);  // shares a process
    seed.Dword(RegHive::kLocalMachine, key, kServiceStateValue, 4);
}

LONG SeedInto(RegistryBatch& batch, const MachineConfig& config) {
    const OsProfile& os = config.os;
    Seeder seed(batch);
    SeedSoftware(seed, config);
    for (const char* port : {"LPT1:", "COM1:", "FILE:"}) {
        seed.Text(RegHive::kLocalMachine, LocalPortsKey(os), port, "");
    }
    SeedFirewall(seed, os);
    seed.Text(RegHive::kCurrentUser, "Control Panel\\International", "Locale",
              Hex8(config.user_language));
    seed.Text(RegHive::kUsers, ".DEFAULT\\Control Panel\\International", "Locale",
              Hex8(config.system_language));
    seed.Meta(kSeededMeta, os.name);
    return seed.Result();
}

bool Report(LONG result, const std::string& where, std::string* error) {
    if (result != 0 && error != nullptr) {
        *error = "cannot seed the registry " + where + ": error " + std::to_string(result);
    }
    return result == 0;
}

}  // namespace

const char* LocalPortsKey(const OsProfile& os) {
    return os.platform_id == 2 ? kNtPortsKey : k9xPortsKey;
}

std::string FirewallServiceName(const OsProfile& os) {
    if (os.platform_id != 2 || os.major < 5 || (os.major == 5 && os.minor == 0)) {
        return "";
    }
    return os.major >= 6 ? "mpssvc" : "SharedAccess";
}

bool SeedRegistry(const std::filesystem::path& root, const MachineConfig& config,
                  std::string* error) {
    std::unique_ptr<RegistryStore> store = RegistryStore::Open(root, config.code_page, error);
    if (!store) {
        return false;
    }
    LONG result = store->Batch([&](RegistryBatch& batch) { return SeedInto(batch, config); });
    return Report(result, store->File().string(), error);
}

bool SeedRegistry(std::string* error) {
    RegistryStore& store = CurrentRegistryStore();
    const MachineConfig& config = Machine::Current().Config();
    LONG result = store.Batch([&](RegistryBatch& batch) { return SeedInto(batch, config); });
    return Report(result, store.File().string(), error);
}

LONG SeedStoreIfNeeded(RegistryStore& store, const MachineConfig& config) {
    return store.Batch([&](RegistryBatch& batch) {
        std::string seeded_for;
        LONG result = batch.GetMeta(kSeededMeta, &seeded_for);
        if (result != static_cast<LONG>(kErrorFileNotFound)) {
            return result;
        }
        return SeedInto(batch, config);
    });
}

}  // namespace qx::platform
