#include "reg_command.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "registry/registry_helper.h"

namespace qx::tools {

namespace {

namespace qp = qx::platform;
using qp::DWORD;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char* const kRegHelp =
    "usage: qxmachine reg [--32] COMMAND ARGS\n"
    "Reads and edits the machine's registry.\n"
    "  query KEY [NAME]            a key's values and subkeys, or one value's data\n"
    "  set KEY NAME TYPE DATA      writes a value (creating the key)\n"
    "  delete KEY [NAME]           deletes a key with everything below it, or one value\n"
    "  deny-delete KEY 0|1         sets or clears the rule that refuses deleting the key\n"
    "  export KEY FILE             saves a subtree to a new registry file\n"
    "  import FILE                 loads a registry file into the registry\n"
    "KEY is ROOT\\path with ROOT one of HKEY_LOCAL_MACHINE (HKLM), HKEY_CURRENT_USER (HKCU),\n"
    "HKEY_CLASSES_ROOT (HKCR), HKEY_USERS (HKU), HKEY_CURRENT_CONFIG (HKCC).\n"
    "Keys are seen in the native registry view; --32 shows what the 32-bit setup program sees.\n"
    "Run 'qxmachine reg COMMAND --help' for one command.\n";

const std::map<std::string, std::string> kSubcommandHelp = {
    {"query",
     "usage: qxmachine reg [--32] query KEY [NAME]\n"
     "Without NAME prints one line per value, name=TYPE:data (the default value has an empty\n"
     "name), then one line per subkey, its name followed by a backslash. With NAME prints the\n"
     "value's data alone. Data: texts as they stand, REG_DWORD in decimal, REG_MULTI_SZ items\n"
     "joined by '|', anything else as hexadecimal bytes.\n"},
    {"set",
     "usage: qxmachine reg [--32] set KEY NAME TYPE DATA\n"
     "Writes a value, creating the key when it is missing. TYPE and DATA:\n"
     "  REG_SZ, REG_EXPAND_SZ   the text\n"
     "  REG_DWORD               a number, decimal or 0x hexadecimal\n"
     "  REG_BINARY              hexadecimal bytes, optionally separated by blanks or commas\n"
     "  REG_MULTI_SZ            the items separated by '|' (empty items are left out)\n"
     "A DATA that starts with '-' follows '--', which ends the options.\n"},
    {"delete",
     "usage: qxmachine reg [--32] delete KEY [NAME]\n"
     "Without NAME deletes the key and every key below it; with NAME deletes that value.\n"
     "A key whose deletion is refused (see deny-delete) stays, and the command fails.\n"},
    {"deny-delete",
     "usage: qxmachine reg [--32] deny-delete KEY 0|1\n"
     "1 makes deleting the key fail with access denied (as a key's permissions would), 0 lifts\n"
     "the rule. Opening the key to everyone (what the setup program does) also lifts it.\n"},
    {"export",
     "usage: qxmachine reg export KEY FILE\n"
     "Saves the key and its subtree to FILE (a host path; the file must not exist) in the setup\n"
     "program's registry file format: texts, numbers and, without data, binary values.\n"
     "Export and import run the program's own code and so see the registry as the 32-bit\n"
     "program does. HKEY_USERS has no name in the format.\n"},
    {"import",
     "usage: qxmachine reg import FILE\n"
     "Loads a registry file (a host path) into the registry, as the setup program does. A line\n"
     "that is neither a text, a dword nor a hex value fails the import with error 13, after\n"
     "every other line was loaded.\n"},
};

struct KeyName {
    qp::HKEY root = nullptr;
    std::string subkey;
};

const std::vector<std::pair<std::vector<std::string>, qp::HKEY>>& RootNames() {
    static const std::vector<std::pair<std::vector<std::string>, qp::HKEY>> names = {
        {{"HKEY_LOCAL_MACHINE", "HKLM"}, qp::HKEY_LOCAL_MACHINE},
        {{"HKEY_CURRENT_USER", "HKCU"}, qp::HKEY_CURRENT_USER},
        {{"HKEY_CLASSES_ROOT", "HKCR"}, qp::HKEY_CLASSES_ROOT},
        {{"HKEY_USERS", "HKU"}, qp::HKEY_USERS},
        {{"HKEY_CURRENT_CONFIG", "HKCC"}, qp::HKEY_CURRENT_CONFIG},
    };
    return names;
}

std::optional<KeyName> ParseKey(const std::string& text) {
    const size_t slash = text.find('\\');
    const std::string root = text.substr(0, slash);
    for (const auto& [names, handle] : RootNames()) {
        for (const std::string& name : names) {
            if (qp::EqualsNoCaseMb(root, name, 1252)) {
                return KeyName{handle, slash == std::string::npos ? "" : text.substr(slash + 1)};
            }
        }
    }
    return std::nullopt;
}

int Usage(const std::string& reason) {
    std::cerr << "qxmachine: reg " << reason << " (see qxmachine reg --help)\n";
    return kExitUsage;
}

int Failed(const std::string& what, DWORD error) {
    std::string text = qp::FormatSystemMessage(error);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    std::cerr << "qxmachine: reg " << what << ": error " << error
              << (text.empty() ? "" : ": " + text) << "\n";
    return kExitFailed;
}

std::string TypeName(DWORD type) {
    static const std::map<DWORD, std::string> names = {
        {qp::REG_NONE, "REG_NONE"},           {qp::REG_SZ, "REG_SZ"},
        {qp::REG_EXPAND_SZ, "REG_EXPAND_SZ"}, {qp::REG_BINARY, "REG_BINARY"},
        {qp::REG_DWORD, "REG_DWORD"},         {qp::REG_MULTI_SZ, "REG_MULTI_SZ"},
    };
    auto it = names.find(type);
    return it != names.end() ? it->second : "REG_" + std::to_string(type);
}

std::optional<DWORD> TypeFromName(const std::string& name) {
    for (DWORD type :
         {qp::REG_SZ, qp::REG_EXPAND_SZ, qp::REG_BINARY, qp::REG_DWORD, qp::REG_MULTI_SZ}) {
        if (qp::EqualsNoCaseMb(name, TypeName(type), 1252)) {
            return type;
        }
    }
    return std::nullopt;
}

std::string HexBytes(std::string_view data) {
    std::string hex;
    char byte[3];
    for (unsigned char c : data) {
        std::snprintf(byte, sizeof(byte), "%02x", c);
        hex += byte;
    }
    return hex;
}

std::string FormatData(DWORD type, const std::string& data) {
    switch (type) {
        case qp::REG_SZ:
        case qp::REG_EXPAND_SZ:
            return std::string(data.c_str());
        case qp::REG_DWORD:
            if (data.size() == 4) {
                const auto byte = [&](int i) {
                    return static_cast<DWORD>(static_cast<unsigned char>(data[i]));
                };
                return std::to_string(byte(0) | (byte(1) << 8) | (byte(2) << 16) | (byte(3) << 24));
            }
            return HexBytes(data);
        case qp::REG_MULTI_SZ: {
            std::string items;
            for (size_t at = 0; at < data.size() && data[at] != '\0';) {
                const size_t end = std::min(data.find('\0', at), data.size());
                items += (items.empty() ? "" : "|") + data.substr(at, end - at);
                at = end + 1;
            }
            return items;
        }
        default:
            return HexBytes(data);
    }
}

std::optional<std::string> ParseHexBytes(const std::string& text) {
    std::string bytes;
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ',' || c == '\t') {
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
        digits += c;
    }
    if (digits.size() % 2 != 0) {
        return std::nullopt;
    }
    for (size_t i = 0; i < digits.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

std::optional<std::string> EncodeData(DWORD type, const std::string& text) {
    switch (type) {
        case qp::REG_SZ:
        case qp::REG_EXPAND_SZ:
            return text + '\0';
        case qp::REG_DWORD: {
            char* end = nullptr;
            errno = 0;
            const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
            if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 ||
                value > 0xFFFFFFFFull) {
                return std::nullopt;
            }
            std::string bytes(4, '\0');
            for (int i = 0; i < 4; ++i) {
                bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
            }
            return bytes;
        }
        case qp::REG_BINARY:
            return ParseHexBytes(text);
        default: {
            // An empty item would end the list early: only the others are kept.
            std::string list;
            for (size_t at = 0; at < text.size();) {
                const size_t end = std::min(text.find('|', at), text.size());
                if (end > at) {
                    list += text.substr(at, end - at) + '\0';
                }
                at = end + 1;
            }
            return list + '\0';
        }
    }
}

// The value's type and data, at any size.
DWORD ReadValue(qp::HKEY key, const char* name, DWORD* type, std::string* data) {
    DWORD size = 0;
    if (qp::LONG result = qp::RegQueryValueExA(key, name, nullptr, type, nullptr, &size)) {
        return static_cast<DWORD>(result);
    }
    data->assign(size, '\0');
    qp::LONG result = qp::RegQueryValueExA(key, name, nullptr, type,
                                           reinterpret_cast<qp::BYTE*>(data->data()), &size);
    data->resize(size);
    return static_cast<DWORD>(result);
}

struct Context {
    qp::REGSAM view = qp::KEY_WOW64_64KEY;
    std::vector<std::string> args;  // after the subcommand
};

int QueryKey(qp::HKEY key, const std::string& what) {
    DWORD subkeys = 0;
    DWORD values = 0;
    DWORD max_subkey = 0;
    DWORD max_name = 0;
    DWORD max_data = 0;
    if (qp::LONG result =
            qp::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &max_subkey, nullptr,
                                 &values, &max_name, &max_data, nullptr, nullptr)) {
        return Failed(what, static_cast<DWORD>(result));
    }
    for (DWORD i = 0; i < values; ++i) {
        std::string name(max_name + 1, '\0');
        std::string data(max_data, '\0');
        DWORD name_size = static_cast<DWORD>(name.size());
        DWORD data_size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (qp::LONG result =
                qp::RegEnumValueA(key, i, name.data(), &name_size, nullptr, &type,
                                  reinterpret_cast<qp::BYTE*>(data.data()), &data_size)) {
            return Failed(what, static_cast<DWORD>(result));
        }
        name.resize(name_size);
        data.resize(data_size);
        std::cout << name << "=" << TypeName(type) << ":" << FormatData(type, data) << "\n";
    }
    for (DWORD i = 0; i < subkeys; ++i) {
        std::string name(max_subkey + 1, '\0');
        DWORD size = static_cast<DWORD>(name.size());
        if (qp::LONG result =
                qp::RegEnumKeyExA(key, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr)) {
            return Failed(what, static_cast<DWORD>(result));
        }
        name.resize(size);
        std::cout << name << "\\\n";
    }
    return 0;
}

int Query(const Context& context) {
    if (context.args.empty() || context.args.size() > 2) {
        return Usage("query wants KEY [NAME]");
    }
    auto name = ParseKey(context.args[0]);
    if (!name) {
        return Usage("query: '" + context.args[0] + "' starts with no registry root");
    }
    const std::string what = "query " + context.args[0];
    qp::RegKey key;
    if (qp::LONG result = qp::RegOpenKeyExA(name->root, name->subkey.c_str(), 0,
                                            qp::KEY_READ | context.view, key.Receive())) {
        return Failed(what, static_cast<DWORD>(result));
    }
    if (context.args.size() == 1) {
        return QueryKey(key.Get(), what);
    }
    DWORD type = 0;
    std::string data;
    if (DWORD result = ReadValue(key.Get(), context.args[1].c_str(), &type, &data)) {
        return Failed(what + " " + context.args[1], result);
    }
    std::cout << FormatData(type, data) << "\n";
    return 0;
}

int Set(const Context& context) {
    if (context.args.size() != 4) {
        return Usage("set wants KEY NAME TYPE DATA");
    }
    auto name = ParseKey(context.args[0]);
    if (!name) {
        return Usage("set: '" + context.args[0] + "' starts with no registry root");
    }
    auto type = TypeFromName(context.args[2]);
    if (!type) {
        return Usage("set: unknown type '" + context.args[2] + "'");
    }
    auto data = EncodeData(*type, context.args[3]);
    if (!data) {
        return Usage("set: '" + context.args[3] + "' is no " + TypeName(*type) + " data");
    }
    const std::string what = "set " + context.args[0] + " " + context.args[1];
    qp::RegKey key;
    if (qp::LONG result = qp::RegCreateKeyExA(
            name->root, name->subkey.c_str(), 0, nullptr, qp::REG_OPTION_NON_VOLATILE,
            qp::KEY_WRITE | context.view, nullptr, key.Receive(), nullptr)) {
        return Failed(what, static_cast<DWORD>(result));
    }
    if (qp::LONG result = qp::RegSetValueExA(key.Get(), context.args[1].c_str(), 0, *type,
                                             reinterpret_cast<const qp::BYTE*>(data->data()),
                                             static_cast<DWORD>(data->size()))) {
        return Failed(what, static_cast<DWORD>(result));
    }
    return 0;
}

// Deletes parent\name and everything below it through handles of the chosen view.
DWORD DeleteTree(qp::HKEY parent, const std::string& name, qp::REGSAM view) {
    {
        qp::RegKey key;
        if (qp::LONG result =
                qp::RegOpenKeyExA(parent, name.c_str(), 0, qp::KEY_READ | view, key.Receive())) {
            return static_cast<DWORD>(result);
        }
        DWORD subkeys = 0;
        DWORD max_subkey = 0;
        if (qp::LONG result =
                qp::RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, &max_subkey,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
            return static_cast<DWORD>(result);
        }
        for (DWORD i = 0; i < subkeys; ++i) {
            std::string child(max_subkey + 1, '\0');
            DWORD size = static_cast<DWORD>(child.size());
            if (qp::LONG result = qp::RegEnumKeyExA(key.Get(), 0, child.data(), &size, nullptr,
                                                    nullptr, nullptr, nullptr)) {
                return static_cast<DWORD>(result);
            }
            child.resize(size);
            if (DWORD result = DeleteTree(key.Get(), child, view)) {
                return result;
            }
        }
    }
    return static_cast<DWORD>(qp::RegDeleteKeyA(parent, name.c_str()));
}

int Delete(const Context& context) {
    if (context.args.empty() || context.args.size() > 2) {
        return Usage("delete wants KEY [NAME]");
    }
    auto name = ParseKey(context.args[0]);
    if (!name) {
        return Usage("delete: '" + context.args[0] + "' starts with no registry root");
    }
    std::string what = "delete " + context.args[0];
    if (context.args.size() == 2) {
        what += " " + context.args[1];
        qp::RegKey key;
        qp::LONG result = qp::RegOpenKeyExA(name->root, name->subkey.c_str(), 0,
                                            qp::KEY_SET_VALUE | context.view, key.Receive());
        if (result == 0) {
            result = qp::RegDeleteValueA(key.Get(), context.args[1].c_str());
        }
        return result == 0 ? 0 : Failed(what, static_cast<DWORD>(result));
    }
    std::string path = name->subkey;
    while (!path.empty() && path.back() == '\\') {
        path.pop_back();
    }
    if (path.empty()) {
        return Usage("delete: a root key cannot be deleted");
    }
    const size_t slash = path.rfind('\\');
    const std::string parent_path = slash == std::string::npos ? "" : path.substr(0, slash);
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    qp::RegKey parent;
    qp::LONG opened = qp::RegOpenKeyExA(name->root, parent_path.c_str(), 0,
                                        qp::KEY_READ | context.view, parent.Receive());
    if (opened != 0) {
        return Failed(what, static_cast<DWORD>(opened));
    }
    if (DWORD result = DeleteTree(parent.Get(), leaf, context.view)) {
        return Failed(what, result);
    }
    return 0;
}

int DenyDelete(const Context& context) {
    if (context.args.size() != 2 || (context.args[1] != "0" && context.args[1] != "1")) {
        return Usage("deny-delete wants KEY 0|1");
    }
    auto name = ParseKey(context.args[0]);
    if (!name) {
        return Usage("deny-delete: '" + context.args[0] + "' starts with no registry root");
    }
    if (qp::LONG result = qp::SetKeyDenyDelete(name->root, name->subkey.c_str(),
                                               context.args[1] == "1", context.view)) {
        return Failed("deny-delete " + context.args[0], static_cast<DWORD>(result));
    }
    return 0;
}

int Export(const Context& context) {
    if (context.args.size() != 2) {
        return Usage("export wants KEY FILE");
    }
    auto name = ParseKey(context.args[0]);
    if (!name) {
        return Usage("export: '" + context.args[0] + "' starts with no registry root");
    }
    if (name->root == qp::HKEY_USERS) {
        return Usage("export: HKEY_USERS has no name in the registry file format");
    }
    const std::string what = "export " + context.args[0] + " " + context.args[1];
    std::optional<std::string> file = qp::MapHostFile(context.args[1]);
    if (!file) {
        return Failed(what, qp::kErrorPathNotFound);
    }
    if (DWORD result = CRegistry::SaveToFile(name->subkey.c_str(), file->c_str(), name->root)) {
        return Failed(what, result);
    }
    return 0;
}

int Import(const Context& context) {
    if (context.args.size() != 1) {
        return Usage("import wants FILE");
    }
    const std::string what = "import " + context.args[0];
    std::error_code ec;
    if (!std::filesystem::is_regular_file(context.args[0], ec)) {
        return Failed(what, qp::kErrorFileNotFound);
    }
    std::optional<std::string> file = qp::MapHostFile(context.args[0]);
    if (!file) {
        return Failed(what, qp::kErrorPathNotFound);
    }
    if (DWORD result = CRegistry::LoadFromFile(file->c_str())) {
        return Failed(what, result);
    }
    return 0;
}

bool IsHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

}  // namespace

int RunRegCommand(const std::vector<std::string>& args) {
    Context context;
    std::vector<std::string> rest;
    bool help = false;
    bool options = true;
    for (const std::string& arg : args) {
        if (!options) {
            rest.push_back(arg);
        } else if (arg == "--") {
            options = false;
        } else if (arg == "--32") {
            context.view = qp::KEY_WOW64_32KEY;
        } else if (IsHelp(arg)) {
            help = true;
        } else {
            rest.push_back(arg);
        }
    }
    if (rest.empty()) {
        (help ? std::cout : std::cerr) << kRegHelp;
        return help ? 0 : kExitUsage;
    }
    const std::string command = rest[0];
    auto sub_help = kSubcommandHelp.find(command);
    if (sub_help == kSubcommandHelp.end()) {
        return Usage("has no command '" + command + "'");
    }
    if (help) {
        std::cout << sub_help->second;
        return 0;
    }
    context.args.assign(rest.begin() + 1, rest.end());
    using Handler = int (*)(const Context&);
    static const std::map<std::string, Handler> handlers = {
        {"query", &Query},   {"set", &Set},       {"delete", &Delete}, {"deny-delete", &DenyDelete},
        {"export", &Export}, {"import", &Import},
    };
    return handlers.at(command)(context);
}

}  // namespace qx::tools
