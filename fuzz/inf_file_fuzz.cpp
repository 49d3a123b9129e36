// Fuzzes the INF parser with every lookup the SetupAPI calls make over its result. The first
// byte picks the code page, so double-byte scanning is exercised as well as the ANSI one.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/code_page.h"
#include "platform/inf_file.h"

namespace qp = qx::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    static constexpr qp::UINT kCodePages[] = {1252, 949, 932, 936};
    const qp::UINT code_page = kCodePages[data[0] % 4];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    qp::DWORD error = 0;
    qp::UINT line = 0;
    std::optional<qp::InfFile> inf = qp::InfFile::Parse(bytes, code_page, 0x0412, &error, &line);
    if (!inf) {
        if (error == 0) {
            __builtin_trap();  // a refusal always says why
        }
        return 0;
    }
    for (const qp::InfSection& section : inf->Sections()) {
        // Every section is found again by its own name, whatever its bytes.
        std::optional<std::size_t> index = inf->FindSection(section.name);
        if (!index || inf->Sections()[*index].name.size() != section.name.size()) {
            __builtin_trap();
        }
        for (const qp::InfLine& entry : section.lines) {
            inf->Value(section.name, entry.key);
        }
    }
    inf->Value("Version", "Signature");
    return 0;
}
