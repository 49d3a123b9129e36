#include "commands/command_record.h"

#include <cstring>

#include "app/system_checks.h"

namespace qx::commands {

std::unique_ptr<CommandRecord> NewRecord() {
    return std::make_unique<CommandRecord>();  // value-initialised: every field zeroed
}

void SetField(char* field, std::string_view text) {
    const std::size_t size = std::min(text.size(), kCommandFieldSize - 1);
    if (size > 0) {
        std::memcpy(field, text.data(), size);
    }
    field[size] = '\0';
}

std::unique_ptr<CommandRecord> MakeRecord(std::string_view type, std::string_view p1,
                                          std::string_view p2, std::string_view p3,
                                          std::string_view p4, std::string_view p5) {
    std::unique_ptr<CommandRecord> record = NewRecord();
    SetField(record->type, type);
    const std::string_view params[kCommandParamCount] = {p1, p2, p3, p4, p5};
    for (std::size_t i = 0; i < kCommandParamCount; ++i) {
        SetField(record->param[i], params[i]);
    }
    return record;
}

std::unique_ptr<CommandRecord> ParseSectionLine(std::string_view line) {
    std::unique_ptr<CommandRecord> record = NewRecord();
    const std::size_t equals = line.find('=');
    const std::string type(line.substr(0, equals));
    SetField(record->type, qx::app::Trim(type, " \t"));
    if (equals == std::string_view::npos) {
        return record;
    }
    const std::vector<std::string> pieces =
        qx::app::Split(std::string(line.substr(equals + 1)), ",");
    for (std::size_t i = 0; i < pieces.size() && i < 3; ++i) {
        SetField(record->param[i], qx::app::Trim(pieces[i], " \t"));
    }
    return record;
}

}  // namespace qx::commands
