#include "platform/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <string>

namespace qx::platform {

namespace {

char FoldUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
char FoldLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

template <typename Fold>
std::string MapAscii(std::string_view text, UINT code_page, Fold fold) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        if (IsDbcsLeadByte(code_page, static_cast<unsigned char>(out[i])) && i + 1 < out.size()) {
            ++i;  // keep the trail byte
            continue;
        }
        out[i] = fold(out[i]);
    }
    return out;
}

std::string IconvName(UINT code_page) {
    switch (code_page) {
        case 65001:
            return "UTF-8";
        case 20127:
            return "ASCII";
        case 28591:
            return "ISO-8859-1";
        default:
            return "CP" + std::to_string(code_page);
    }
}

std::string Convert(std::string_view text, const std::string& from, const std::string& to) {
    if (text.empty()) {
        return {};
    }
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::string(text);
    }
    std::string out;
    out.resize(text.size() * 4 + 16);
    char* in_ptr = const_cast<char*>(text.data());
    size_t in_left = text.size();
    char* out_ptr = out.data();
    size_t out_left = out.size();
    while (in_left > 0) {
        size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
        if (rc != static_cast<size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            size_t used = out.size() - out_left;
            out.resize(out.size() * 2);
            out_ptr = out.data() + used;
            out_left = out.size() - used;
            continue;
        }
        // Invalid or truncated sequence: replace one byte and go on.
        ++in_ptr;
        --in_left;
        if (out_left == 0) {
            size_t used = out.size();
            out.resize(out.size() * 2);
            out_ptr = out.data() + used;
            out_left = out.size() - used;
        }
        *out_ptr++ = '?';
        --out_left;
    }
    out.resize(out.size() - out_left);
    iconv_close(cd);
    return out;
}

bool IsHighSurrogate(unsigned unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(unsigned unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

unsigned Utf16Unit(const char* at) {
    return static_cast<unsigned char>(at[0]) |
           (static_cast<unsigned>(static_cast<unsigned char>(at[1])) << 8);
}

}  // namespace

bool IsDbcsCodePage(UINT code_page) {
    return code_page == 932 || code_page == 936 || code_page == 949 || code_page == 950;
}

bool IsDbcsLeadByte(UINT code_page, unsigned char byte) {
    switch (code_page) {
        case 932:
            return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936:
        case 949:
        case 950:
            return byte >= 0x81 && byte <= 0xFE;
        default:
            return false;
    }
}

std::string ToUpperMb(std::string_view text, UINT code_page) {
    return MapAscii(text, code_page, FoldUpper);
}

std::string ToLowerMb(std::string_view text, UINT code_page) {
    return MapAscii(text, code_page, FoldLower);
}

int CompareNoCaseMb(std::string_view a, std::string_view b, UINT code_page) {
    size_t i = 0;
    while (i < a.size() && i < b.size()) {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[i]);
        bool lead_a = IsDbcsLeadByte(code_page, ca) && i + 1 < a.size();
        bool lead_b = IsDbcsLeadByte(code_page, cb) && i + 1 < b.size();
        if (lead_a || lead_b) {
            if (ca != cb) {
                return ca < cb ? -1 : 1;
            }
            unsigned char ta = static_cast<unsigned char>(a[i + 1]);
            unsigned char tb = static_cast<unsigned char>(b[i + 1]);
            if (ta != tb) {
                return ta < tb ? -1 : 1;
            }
            i += 2;
            continue;
        }
        unsigned char fa = static_cast<unsigned char>(FoldLower(static_cast<char>(ca)));
        unsigned char fb = static_cast<unsigned char>(FoldLower(static_cast<char>(cb)));
        if (fa != fb) {
            return fa < fb ? -1 : 1;
        }
        ++i;
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return i < a.size() ? 1 : -1;
}

std::string CodePageToUtf8(std::string_view text, UINT code_page) {
    if (code_page == 65001) {
        return std::string(text);
    }
    return Convert(text, IconvName(code_page), "UTF-8");
}

std::string Utf8ToCodePage(std::string_view text, UINT code_page) {
    if (code_page == 65001) {
        return std::string(text);
    }
    return Convert(text, "UTF-8", IconvName(code_page));
}

std::string Utf16LeToCodePage(std::string_view bytes, UINT code_page) {
    const size_t size = bytes.size() & ~static_cast<size_t>(1);
    if (size == 0) {
        return {};
    }
    const std::string target = IconvName(code_page);
    iconv_t cd = iconv_open(target.c_str(), "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::string(size / 2, '?');
    }
    // Character by character, so that one the code page lacks costs exactly one '?'.
    std::string out;
    out.reserve(size);
    char converted[16];
    for (size_t i = 0; i < size;) {
        size_t units = 1;
        const unsigned unit = Utf16Unit(bytes.data() + i);
        if (IsHighSurrogate(unit) && i + 2 < size &&
            IsLowSurrogate(Utf16Unit(bytes.data() + i + 2))) {
            units = 2;
        }
        char* in_ptr = const_cast<char*>(bytes.data() + i);
        size_t in_left = units * 2;
        char* out_ptr = converted;
        size_t out_left = sizeof(converted);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1) ||
            in_left != 0) {
            out.push_back('?');
        } else {
            out.append(converted, static_cast<size_t>(out_ptr - converted));
        }
        i += units * 2;
    }
    iconv_close(cd);
    return out;
}

}  // namespace qx::platform
