// The registry a fresh machine starts with: the keys and values its Windows version keeps and
// the program reads (folders, version, driver source path, local ports, the firewall service,
// the user's locale). Also names where those live, for the code that reads them back.
#pragma once

#include <filesystem>
#include <string>

#include "platform/machine.h"
#include "platform/win_types.h"

namespace qx::platform {

class RegistryStore;

// Local ports: one REG_SZ value per port, named after it ("LPT1:", "COM1:", "FILE:"), below
// HKEY_LOCAL_MACHINE. NT keeps them under Windows NT\CurrentVersion\Ports (one key for both
// registry views on 64-bit Windows); the 9x family under the local port monitor's key.
inline constexpr const char* kNtPortsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
inline constexpr const char* k9xPortsKey =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Local Port\\Ports";
const char* LocalPortsKey(const OsProfile& os);

// Services live under HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name> with
// DisplayName, Start, Type, ImagePath and the emulated current state as the DWORD `State`
// (1 stopped, 2 start pending, 3 stop pending, 4 running).
inline constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services";
inline constexpr const char* kServiceStateValue = "State";
// The firewall service of the version (SharedAccess on XP and Server 2003, mpssvc from Vista
// on); empty when it has none.
std::string FirewallServiceName(const OsProfile& os);

// Writes the seed into the registry of the machine at root (its own connection to
// root/registry.db), in one transaction. Values already there are overwritten.
bool SeedRegistry(const std::filesystem::path& root, const MachineConfig& config,
                  std::string* error);
// The same for Machine::Current().
bool SeedRegistry(std::string* error);

// Seeds a store unless it was seeded already; 0 or a Windows error number.
LONG SeedStoreIfNeeded(RegistryStore& store, const MachineConfig& config);

}  // namespace qx::platform
