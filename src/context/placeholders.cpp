#include "context/placeholders.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "app/log.h"
#include "app/system_checks.h"
#include "context/install_context.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "registry/registry_helper.h"

namespace qp = qx::platform;
using qp::DWORD;

namespace qx::context {

namespace {

void ReplaceAll(std::string* text, const std::string& token, const std::string& value) {
    size_t from = 0;
    for (size_t at = text->find(token, from); at != std::string::npos;
         at = text->find(token, from)) {
        text->replace(at, token.size(), value);
        from = at + value.size();
    }
}

std::string Hex4(unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "%04X", value & 0xFFFF);
    return buffer;
}

std::string WithoutTrailingBackslash(std::string folder) {
    while (folder.size() > 3 && folder.back() == '\\') {
        folder.pop_back();
    }
    return folder;
}

// Creates a folder and its missing parents; the created ones go to the removal records once
// the copy engine keeps them.
void CreateFolderChain(const std::string& folder) {
    if (folder.size() < 3) {
        return;
    }
    std::vector<std::string> missing;
    for (std::string current = folder; current.size() > 3;
         current = current.substr(0, current.rfind('\\'))) {
        if (qp::GetFileAttributesA(current) != qp::kInvalidFileAttributes) {
            break;
        }
        missing.push_back(current);
        if (current.rfind('\\') == std::string::npos) {
            break;
        }
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        qp::CreateDirectoryA(*it);
    }
}

}  // namespace

std::string ExpandPlaceholders(std::string_view text, int lcid, const char* lang_abbr,
                               const char* lang_dir) {
    std::string out(text);
    CInstallContext* context = GetContext();
    if (context == nullptr || out.find('$') == std::string::npos) {
        return out;
    }
    const LanguageRecord& language = context->Language();
    const SystemFolders& folders = context->Folders();
    const RunPaths& paths = context->Paths();
    const ProfileSet& profiles = context->Profiles();
    const bool has_abbr = lang_abbr != nullptr && *lang_abbr != '\0';
    const bool has_dir = lang_dir != nullptr && *lang_dir != '\0';
    const std::vector<std::pair<const char*, std::string>> table = {
        {"$LANG_ABBR$", has_abbr ? std::string(lang_abbr) : language.abbr},
        {"$ORG_LANG_ABBR$", language.unmapped_abbr},
        {"$SRC_DIR$", context->SourceFolder()},
        {"$DEST_DIR$", paths.destination},
        {"$DEST_INST_DIR$", paths.destination_install},
        {"$WIN_DIR$", folders.windows},
        {"$SYS_DIR$", folders.system},
        {"$INF_DIR$", folders.inf},
        {"$OS_DIR$", paths.os_folder},
        {"$PROGRAM_FILES_DIR$", folders.program_files},
        {"$LANG_DIR$", has_dir ? std::string(lang_dir) : language.dir},
        {"$ORG_LANG_DIR$", language.unmapped_dir},
        {"$DATA_FILE$", profiles.data_file},
        {"$CONFIG_FILE$", profiles.configure_file},
        {"$STRING_FILE$", profiles.string_file},
        {"$VERSION$", context->Version()},
        {"$INSTALLER_EXE$", context->InstallerExe()},
        {"$IP$", paths.ip},
        {"$STRING_FILE_NAME$", profiles.string_file_name},
        {"$PORT$", paths.port},
        {"$LCID$", Hex4(lcid != 0 ? static_cast<unsigned>(lcid) : language.current)},
        {"$ORG_LCID$", Hex4(language.unmapped)},
        {"$BOOL_INSTALLED$", paths.installed ? "1" : "0"},
        {"$BOOL_!INSTALLED$", paths.installed ? "0" : "1"},
    };
    for (const auto& [token, value] : table) {
        ReplaceAll(&out, token, value);
    }
    return out;
}

std::string ResolvePath(std::string_view raw, bool must_exist) {
    CInstallContext* context = GetContext();
    const std::string source = context != nullptr ? context->SourceFolder() : std::string();
    // The source folder goes in first: "$SRC_DIR$\data" is then the absolute path it names
    // instead of being taken relative to the source folder once more.
    std::string expanded(raw);
    ReplaceAll(&expanded, "$SRC_DIR$", source);
    const std::string_view text = expanded;
    std::string path;
    if ((text.size() == 2 && text[1] == ':') || (text.size() >= 3 && text.substr(1, 2) == ":\\") ||
        text.substr(0, 2) == "\\\\") {
        path = std::string(text);
    } else if (text.substr(0, 2) == "..") {
        size_t slash = source.rfind('\\');
        path = (slash == std::string::npos ? source : source.substr(0, slash)) +
               std::string(text.substr(2));
    } else if (text.substr(0, 1) == ".") {
        path = source + std::string(text.substr(1));
    } else {
        path = source + "\\" + std::string(text);
    }
    if (must_exist && !qx::app::FileExists(path.c_str())) {
        GetLog()->Write("(%s) file does not exist.", path.c_str());
        return {};
    }
    return path;
}

bool IsRemoteInstallation() {
    const OptionRecord* options = GetOptions();
    return options != nullptr && options->remote_installation;
}

qx::profile::SectionQualifiers CurrentSectionQualifiers() {
    qx::profile::SectionQualifiers qualifiers;
    CInstallContext* context = GetContext();
    if (context == nullptr) {
        return qualifiers;
    }
    qualifiers.os = context->Paths().os_define;
    qualifiers.language = context->Language().abbr;
    qualifiers.network = context->Options().network;
    qualifiers.usb_only = context->Options().usb_only;
    return qualifiers;
}

void InitDefaultDestination(CInstallContext* context) {
    RunPaths& paths = context->Paths();
    std::vector<char> buffer(4096, '\0');
    std::string destination;
    if (CRegistry::GetValue(context->Keys().installed.c_str(), "Dest_Dir", buffer.data(),
                            qp::HKEY_LOCAL_MACHINE, static_cast<DWORD>(buffer.size())) == 0) {
        destination = buffer.data();
    } else if (auto configured = context->Profiles().data.Text("PROGRAM_INFO", "DESTINATION_DIR")) {
        destination = *configured;
    } else {
        destination = context->Folders().program_files + "\\" + context->Product().mfg + "\\" +
                      context->Product().program_name;
    }
    if (!destination.empty() && destination.back() == '\\') {
        destination.pop_back();
    }
    paths.destination = destination;
    paths.default_destination = destination;
    paths.destination_install = destination + "\\Install";
    CreateFolderChain(destination);
}

void ApplyPortRule(CInstallContext* context, const char* text, bool with_log) {
    RunPaths& paths = context->Paths();
    if (text != nullptr && *text != '\0') {
        paths.port = text;
    } else if (auto port = context->Profiles().data.Text("PROGRAM_INFO", "DEFAULT_PORT");
               port && qx::app::PortExists(port->c_str())) {
        paths.port = *port;
    } else if (context->Options().usb_only || !qx::app::PortExists("LPT1:")) {
        paths.port = "FILE:";
    } else {
        paths.port = "LPT1:";
    }
    if (with_log) {
        GetLog()->Write("Set Port : %s", paths.port.c_str());
    }
}

}  // namespace qx::context

void CInstallContext::SetDestination(const char* folder) {
    using namespace qx::context;
    const std::string current = ExpandPlaceholders(m_paths.destination);
    std::string wanted;
    if (folder != nullptr && *folder != '\0') {
        wanted = folder;
    } else {
        wanted = ExpandPlaceholders(m_paths.default_destination);
        GetLog()->Write("Reset Destination Directory [%s]", wanted.c_str());
    }
    if (qp::EqualsNoCaseMb(wanted, current, qp::GetACP())) {
        return;
    }
    // Emptied folders go, but never the machine's own (an empty Program Files, say).
    qx::app::RemoveFolderChain(current);
    GetLog()->Write("Set Destination ==> %s", wanted.c_str());
    m_paths.destination = WithoutTrailingBackslash(wanted);
    m_paths.destination_install = m_paths.destination + "\\Install";
    CRegistry::SetValue(m_keys.installing.c_str(), "Dest_Dir", m_paths.destination.c_str(),
                        qp::HKEY_LOCAL_MACHINE);
    CreateFolderChain(m_paths.destination);
}
