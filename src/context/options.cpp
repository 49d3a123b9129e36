// The option record: OPTION's resolved variant first, then the plain section, with the log
// line of each option.
#include <optional>

#include "app/log.h"
#include "app/system_checks.h"
#include "context/install_context.h"

using qx::platform::DWORD;

namespace {

class OptionReader {
  public:
    OptionReader(CConfig& data, std::string resolved)
        : m_data(data), m_resolved(std::move(resolved)) {}

    std::optional<DWORD> Number(const char* key) {
        DWORD value = 0;
        if (m_data.GetDword(m_resolved.c_str(), key, &value)) {
            return value;
        }
        if (m_data.GetDword("OPTION", key, &value)) {
            return value;
        }
        return std::nullopt;
    }

    // Flags that keep their value when the key is missing, logged only when it is there.
    void Optional(const char* key, bool* flag, const char* name, const char* word) {
        if (auto value = Number(key)) {
            *flag = *value != 0;
            GetLog()->Write("%s %s is %s", name, word, *flag ? "ON" : "OFF");
        }
    }

  private:
    CConfig& m_data;
    std::string m_resolved;
};

}  // namespace

void CInstallContext::ReadOptions() {
    CConfig& data = m_profiles.data;
    std::string resolved;
    if (auto section = data.Section("OPTION")) {
        resolved = *section;
    } else {
        GetLog()->Write("Get Option fail");
        resolved = "OPTION";
    }
    OptionReader reader(data, resolved);
    CLog* log = GetLog();
    auto on_off = [](bool flag) { return flag ? "ON" : "OFF"; };

    m_options.usb_only = reader.Number("USB_ONLY").value_or(0) != 0;
    log->Write("USB ONLY Option is %s", on_off(m_options.usb_only));
    m_options.network = reader.Number("NETWORK").value_or(0) != 0;
    log->Write("NETWORK Option is %s", on_off(m_options.network));
    m_options.wireless = reader.Number("WIRELESS").value_or(0) != 0;
    log->Write("WIRELESS Option is %s", on_off(m_options.wireless));

    reader.Optional("DEVICE_INSTALL", &m_options.device_install, "INSTALL DEVICE", "Option");
    reader.Optional("SHOW_INST_ERROR", &m_options.show_install_error, "SHOW INSTALL ERROR",
                    "Option");
    int os_code = 0;
    int family = 0;
    const bool no_rtl =
        qx::app::GetOSCode(&os_code, &family) &&
        (os_code == 3 || os_code == 4 || os_code == 5 || os_code == 11 || os_code == 12);
    m_options.right_align = !no_rtl && reader.Number("RIGHT_ALIGN").value_or(0) != 0;
    log->Write("RIGHT ALIGN Option is %s", on_off(m_options.right_align));
    reader.Optional("PRECREATE_DLG", &m_options.precreate_dialogs, "PRECREATE DIALOG", "option");
    reader.Optional("MAIN_ONLY", &m_options.main_only, "JUST MAIN", "option");
    reader.Optional("SET_SOURCE_PATH", &m_options.set_source_path, "SET SOURCE PATH", "option");
    reader.Optional("USE_PUBLIC_OID", &m_options.use_public_oid, "USE PUBLIC OID", "option");
    reader.Optional("USE_IPX", &m_options.use_ipx, "USE IPX", "option");
    reader.Optional("STOP_FIREWALL", &m_options.stop_firewall, "Stop Firewall", "option");
    if (reader.Number("ORIEL")) {
        m_options.oriel_given = true;
    }
    reader.Optional("ORIEL", &m_options.oriel, "ORIEL", "option");
    auto maintenance = reader.Number("MAINTENANCE_ON");
    m_options.maintenance = !maintenance || *maintenance != 0;
    log->Write("MAINTENANCE Option is %s", on_off(m_options.maintenance));
    if (auto size = reader.Number("COMMUNITY_SIZE"); size && *size != 0) {
        m_options.community_size = *size;
    }
    log->Write("Community Name size = %d", static_cast<int>(m_options.community_size));
    reader.Optional("MANUAL_FW_DOWN", &m_options.manual_fw_down, "MANUAL FW DOWN", "option");
    if (auto time = reader.Number("MAX_FW_DOWN_TIME"); time && *time != 0) {
        m_options.max_fw_down_time = *time;
        log->Write("MAX FW DOWN time is %d", static_cast<int>(*time));
    }
}
