// The command record: a command type and five parameters in six fixed, zero-terminated text
// fields. Pages, controls, workers and command sections all hand commands over in this form.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace qx::commands {

inline constexpr std::size_t kCommandFieldSize = 16384;
inline constexpr std::size_t kCommandParamCount = 5;

struct CommandRecord {
    char type[kCommandFieldSize];
    char param[kCommandParamCount][kCommandFieldSize];
};

static_assert(sizeof(CommandRecord) == 6 * kCommandFieldSize, "six fields, nothing between");

// A zeroed record on the heap (98304 bytes do not belong on a thread's stack).
std::unique_ptr<CommandRecord> NewRecord();

// Copies text into a field, cut to the field's size with its terminating zero.
void SetField(char* field, std::string_view text);

// A record filled from the type and up to five parameters; absent texts stay empty.
std::unique_ptr<CommandRecord> MakeRecord(std::string_view type, std::string_view p1 = {},
                                          std::string_view p2 = {}, std::string_view p3 = {},
                                          std::string_view p4 = {}, std::string_view p5 = {});

// One line of a command section, TYPE=P1,P2,P3: the type is the text before the first '=',
// the rest is split at commas with empty pieces skipped; at most three parameters are kept,
// each trimmed of blanks and tabs like the type.
std::unique_ptr<CommandRecord> ParseSectionLine(std::string_view line);

}  // namespace qx::commands
