// The emulated Windows machine: a host folder holding machine.ini (identity, language, drives)
// and the drives' contents. One machine per process, chosen by QXSETUP_MACHINE.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/os_profile.h"
#include "platform/win_types.h"

namespace qx::platform {

inline constexpr UINT kDriveUnknown = 0;
inline constexpr UINT kDriveNoRootDir = 1;
inline constexpr UINT kDriveRemovable = 2;
inline constexpr UINT kDriveFixed = 3;
inline constexpr UINT kDriveRemote = 4;
inline constexpr UINT kDriveCdrom = 5;
inline constexpr UINT kDriveRamdisk = 6;

struct Drive {
    char letter = 'C';
    std::filesystem::path host_root;
    UINT type = kDriveFixed;
    bool transient = false;  // mapped for this process (and its children), not in machine.ini
};

// What `qxmachine init` chooses; everything else follows from the OS profile.
struct MachineSetup {
    std::string os = "win7x64";
    LANGID system_language = 0x0409;
    LANGID user_language = 0x0409;
    UINT code_page = 1252;
    bool administrator = true;
};

struct MachineConfig {
    OsProfile os;
    LANGID system_language = 0x0409;
    LANGID user_language = 0x0409;
    UINT code_page = 1252;
    std::string computer_name = "QXPC";
    std::string user_name = "User";
    bool administrator = true;
    bool terminal_server = false;
    int screen_width = 1024;
    int screen_height = 768;
    std::map<char, unsigned long long> free_space_override;  // bytes, per drive letter
    // [SYSTEM_FUNCTIONS] NAME = 0: functions GetProcAddress does not find (names without case).
    std::set<std::string> disabled_functions;
};

class Machine {
  public:
    // The process's machine: QXSETUP_MACHINE, else the XDG default; created on first use.
    static Machine& Current();

    // Creates a machine folder. Fails (with a reason) when one exists there and !force.
    static bool Create(const std::filesystem::path& root, const MachineSetup& setup, bool force,
                       std::string* error);
    // Opens an existing machine folder; fails with a reason when machine.ini is unusable.
    static std::unique_ptr<Machine> Open(const std::filesystem::path& root, std::string* error);
    // The folder QXSETUP_MACHINE or the XDG default names.
    static std::filesystem::path DefaultRoot();

    const std::filesystem::path& Root() const { return m_root; }
    const MachineConfig& Config() const { return m_config; }
    std::filesystem::path RunFolder() const { return m_root / "run"; }

    std::vector<Drive> Drives() const;
    std::optional<Drive> FindDrive(char letter) const;
    // The drive whose host folder holds host_path (longest match).
    std::optional<Drive> DriveOfHostPath(const std::filesystem::path& host_path) const;
    // Maps a host folder to the first free letter from D: for this process and its children.
    // Returns the letter of the drive that already maps it, if any.
    char MapTransientDrive(const std::filesystem::path& host_folder, UINT type);

    // Windows folders of this machine (no trailing backslash).
    std::string WindowsFolder() const;
    std::string SystemFolder() const;
    std::string InfFolder() const;
    std::string ProgramFilesFolder() const;
    std::string TempFolder() const;

  private:
    Machine(std::filesystem::path root, MachineConfig config, std::vector<Drive> drives);
    void PublishTransientDrives() const;

    std::filesystem::path m_root;
    MachineConfig m_config;
    mutable std::mutex m_mutex;
    std::vector<Drive> m_drives;
};

// Name of the environment variable that carries transient drives to child processes.
inline constexpr const char* kTransientDrivesEnv = "QXSETUP_TRANSIENT_DRIVES";

}  // namespace qx::platform

namespace qx::platform {

std::optional<UINT> DriveTypeFromName(std::string_view name);  // cdrom, fixed, removable, ...
std::string DriveTypeName(UINT type);
std::string MachineIniText(const MachineConfig& config);

}  // namespace qx::platform
