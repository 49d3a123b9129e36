#include "platform/inf_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/errors.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/system_info.h"
#include "platform/system_library.h"
#include "support/temp_machine.h"

namespace fs = std::filesystem;
namespace qp = qx::platform;

namespace {

constexpr const char* kHeader = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n";

struct Line {
    std::string key;
    std::vector<std::string> fields;
};

std::vector<Line> LinesOf(const std::string& text, const char* section, qp::LANGID language) {
    qp::DWORD error = 0;
    std::optional<qp::InfFile> inf = qp::InfFile::Parse(text, 1252, language, &error, nullptr);
    std::vector<Line> lines;
    if (!inf) {
        ADD_FAILURE() << "parse failed with " << std::hex << error << " for: " << text;
        return lines;
    }
    std::optional<size_t> index = inf->FindSection(section);
    if (!index) {
        ADD_FAILURE() << "no section " << section << " in: " << text;
        return lines;
    }
    for (const qp::InfLine& line : inf->Sections()[*index].lines) {
        lines.push_back({line.key, line.fields});
    }
    return lines;
}

bool operator==(const Line& a, const Line& b) {
    return a.key == b.key && a.fields == b.fields;
}

void PrintTo(const Line& line, std::ostream* out) {
    *out << "{" << line.key << " |";
    for (const std::string& field : line.fields) {
        *out << " <" << field << ">";
    }
    *out << "}";
}

TEST(InfSyntax, Table) {
    const struct {
        const char* name;
        std::string text;
        std::vector<Line> expected;
    } cases[] = {
        {"comments and blanks",
         "[S]\n; whole line\n  a = 1 , 2  ; trailing\n\n",
         {{"a", {"1", "2"}}}},
        {"quoted fields keep blanks, commas and semicolons",
         "[S]\nk = \" x, y ;z \", plain\n",
         {{"k", {" x, y ;z ", "plain"}}}},
        {"doubled quote is a literal quote",
         "[S]\nk=\"say \"\"hi\"\"\"\n",
         {{"k", {"say \"hi\""}}}},
        {"unterminated quote ends with the line",
         "[S]\nk=\"open\nj=2\n",
         {{"k", {"open"}}, {"j", {"2"}}}},
        {"continuation joins lines",
         "[S]\nk = a, \\\n  b \\ ; note\n, c\n",
         {{"k", {"a", "b", "c"}}}},
        {"backslash inside a field is literal",
         "[S]\nk = C:\\dir\\file\n",
         {{"k", {"C:\\dir\\file"}}}},
        {"empty fields", "[S]\nk = , ,x,\n", {{"k", {"", "", "x", ""}}}},
        {"key with nothing after equals has no fields", "[S]\nk =\n", {{"k", {}}}},
        {"single keyless field is its own key", "[S]\nModels\n", {{"Models", {"Models"}}}},
        {"keyless list has no key", "[S]\na,b\n", {{"", {"a", "b"}}}},
        {"only the first equals separates the key", "[S]\nk=a=b\n", {{"k", {"a=b"}}}},
        {"duplicates are kept in order", "[S]\nk=1\nk=2\n", {{"k", {"1"}}, {"k", {"2"}}}},
        {"a repeated section appends",
         "[S]\na=1\n[T]\nt=0\n[s]\nb=2\n",
         {{"a", {"1"}}, {"b", {"2"}}}},
        {"strings substituted in keys and fields, %% literal",
         "[S]\n%Mfg%=%Mfg%,100%%,%missing%,%% done\n[Strings]\nMfg=\"Acme, Inc.\"\n",
         {{"Acme, Inc.", {"Acme, Inc.", "100%", "%missing%", "% done"}}}},
        {"language strings win over neutral ones",
         "[S]\nk=%Name%,%Only%\n[Strings.0412]\nName=Korean\n[Strings]\nName=Neutral\nOnly=n\n"
         "[strings.0409]\nname=English\n",
         {{"k", {"English", "n"}}}},
        {"CRLF and tabs", "[S]\r\n\tk\t=\tv w\t\r\n", {{"k", {"v w"}}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LinesOf(c.text, "S", 0x0409), c.expected) << c.name;
    }
}

TEST(InfSyntax, MalformedFilesGiveAnErrorAndLine) {
    const struct {
        std::string text;
        qp::DWORD error;
        qp::UINT line;
    } cases[] = {
        {"[Version]\n[Broken\nk=1\n", qp::kErrorBadSectionNameLine, 2},
        {"; ok\nk=1\n[S]\n", qp::kErrorExpectedSectionName, 2},
        {"[" + std::string(300, 'x') + "]\n", qp::kErrorSectionNameTooLong, 1},
    };
    for (const auto& c : cases) {
        qp::DWORD error = 0;
        qp::UINT line = 0;
        EXPECT_FALSE(qp::InfFile::Parse(c.text, 1252, 0x0409, &error, &line)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
        EXPECT_EQ(line, c.line) << c.text;
    }
}

TEST(InfSyntax, RepeatedReferencesCannotBlowUpMemory) {
    std::string text = "[Strings]\nbig=\"" + std::string(60000, 'x') + "\"\n[S]\n";
    for (int i = 0; i < 400; ++i) {
        text += "k=%big%,%big%\n";
    }
    qp::DWORD error = 0;
    EXPECT_FALSE(qp::InfFile::Parse(text, 1252, 0x0409, &error, nullptr));
    EXPECT_EQ(error, qp::kErrorNotEnoughMemory);
}

TEST(InfSyntax, DoubleByteTrailBytesAreNotSyntax) {
    // In code page 949 "\x81\x5D" is one character whose trail byte is ']' and "\x81\x5C" one
    // whose trail byte is a backslash.
    const std::string text = "[S\x81\x5D]\nk=a\x81\x5C\nj=b\n";
    std::optional<qp::InfFile> inf = qp::InfFile::Parse(text, 949, 0x0412, nullptr, nullptr);
    ASSERT_TRUE(inf);
    std::optional<size_t> index = inf->FindSection("S\x81\x5D");
    ASSERT_TRUE(index);
    ASSERT_EQ(inf->Sections()[*index].lines.size(), 2u);
    EXPECT_EQ(inf->Sections()[*index].lines[0].fields.at(0), "a\x81\x5C");
}

class InfApi : public testing::Test {
  protected:
    void SetUp() override {
        folder_ = qx::test::MakeTestFolder(
            testing::UnitTest::GetInstance()->current_test_info()->name(), &host_);
    }
    std::string Write(const std::string& name, const std::string& bytes) const {
        qx::test::WriteHostFile(host_ / name, bytes);
        return folder_ + "\\" + name;
    }

    std::string folder_;
    fs::path host_;
};

std::string Field(qp::INFCONTEXT* context, qp::DWORD index) {
    char buffer[260] = {};
    if (!qp::SetupGetStringFieldA(context, index, buffer, sizeof(buffer), nullptr)) {
        return "<error " + std::to_string(qp::GetLastError()) + ">";
    }
    return buffer;
}

TEST_F(InfApi, OpenChecksFileStyleAndClass) {
    const std::string good = Write("good.inf", std::string(kHeader) + "[Manufacturer]\nAcme\n");
    const std::string chicago =
        Write("chicago.inf", "[version]\nsignature=$CHICAGO$\nclass=Image\n");
    const std::string old = Write("old.inf", "[Version]\nSignature=$Windows 3.1$\nClass=Printer\n");
    const std::string bad = Write("bad.inf", std::string(kHeader) + "\n[Oops\n");
    const struct {
        std::string path;
        const char* filter;
        qp::DWORD style;
        qp::DWORD error;  // 0: opens
        qp::UINT line;
    } cases[] = {
        {good, nullptr, qp::INF_STYLE_WIN4, 0, 0},
        {good, "printer", qp::INF_STYLE_WIN4, 0, 0},
        {good, "Image", qp::INF_STYLE_WIN4, qp::kErrorClassMismatch, 0},
        {chicago, "IMAGE", qp::INF_STYLE_WIN4, 0, 0},
        {old, nullptr, qp::INF_STYLE_WIN4, qp::kErrorWrongInfStyle, 0},
        {good, nullptr, qp::INF_STYLE_OLDNT, qp::kErrorWrongInfStyle, 0},
        {bad, nullptr, qp::INF_STYLE_WIN4, qp::kErrorBadSectionNameLine, 5},
        {folder_ + "\\missing.inf", nullptr, qp::INF_STYLE_WIN4, qp::kErrorFileNotFound, 0},
    };
    for (const auto& c : cases) {
        qp::UINT line = 99;
        qp::InfHandle inf(qp::SetupOpenInfFileA(c.path.c_str(), c.filter, c.style, &line));
        EXPECT_EQ(inf.IsValid(), c.error == 0) << c.path;
        EXPECT_EQ(qp::GetLastError(), c.error) << c.path;
        EXPECT_EQ(line, c.line) << c.path;
    }
}

TEST_F(InfApi, LinesByIndexCountAndKey) {
    const std::string path = Write(
        "models.inf", std::string(kHeader) +
                          "[Models]\n\"Model A\" = InstallA, USB\\VID_1\n; gap\n"
                          "\"Model B\" = InstallB\n[Empty]\n; nothing\n[Models]\nModel C=C\n");
    qp::InfHandle inf(qp::SetupOpenInfFileA(path.c_str(), "Printer", qp::INF_STYLE_WIN4, nullptr));
    ASSERT_TRUE(inf.IsValid());
    EXPECT_EQ(qp::SetupGetLineCountA(inf.Get(), "models"), 3);
    EXPECT_EQ(qp::SetupGetLineCountA(inf.Get(), "Empty"), 0);
    EXPECT_EQ(qp::SetupGetLineCountA(inf.Get(), "Absent"), -1);
    EXPECT_EQ(qp::GetLastError(), qp::kErrorSectionNotFound);

    qp::INFCONTEXT context;
    ASSERT_TRUE(qp::SetupGetLineByIndexA(inf.Get(), "MODELS", 2, &context));
    EXPECT_EQ(Field(&context, 0), "Model C");
    ASSERT_TRUE(qp::SetupGetLineByIndexA(inf.Get(), "Models", 0, &context));
    EXPECT_EQ(Field(&context, 0), "Model A");
    EXPECT_EQ(Field(&context, 2), "USB\\VID_1");
    EXPECT_EQ(qp::SetupGetFieldCount(&context), 2u);
    EXPECT_EQ(Field(&context, 3), "<error 87>");
    EXPECT_FALSE(qp::SetupGetLineByIndexA(inf.Get(), "Models", 3, &context));
    EXPECT_EQ(qp::GetLastError(), qp::kErrorLineNotFound);
    EXPECT_FALSE(qp::SetupGetLineByIndexA(inf.Get(), "Absent", 0, &context));
    EXPECT_EQ(qp::GetLastError(), qp::kErrorSectionNotFound);

    ASSERT_TRUE(qp::SetupFindFirstLineA(inf.Get(), "Models", "model b", &context));
    EXPECT_EQ(Field(&context, 1), "InstallB");
    qp::INFCONTEXT next;
    ASSERT_TRUE(qp::SetupFindNextLine(&context, &next));
    EXPECT_EQ(Field(&next, 0), "Model C");
    EXPECT_FALSE(qp::SetupFindNextLine(&next, &next));
    EXPECT_EQ(qp::GetLastError(), qp::kErrorLineNotFound);
    ASSERT_TRUE(qp::SetupFindFirstLineA(inf.Get(), "Models", nullptr, &context));
    EXPECT_TRUE(qp::SetupFindNextMatchLineA(&context, "MODEL C", &next));

    char text[260];
    ASSERT_TRUE(qp::SetupGetLineTextA(nullptr, inf.Get(), "Version", "Class", text, 260, nullptr));
    EXPECT_STREQ(text, "Printer");
    ASSERT_TRUE(qp::SetupGetLineTextA(nullptr, inf.Get(), "Models", "Model A", text, 260, nullptr));
    EXPECT_STREQ(text, "InstallA,USB\\VID_1");
    EXPECT_FALSE(qp::SetupGetLineTextA(nullptr, inf.Get(), "Version", "Nope", text, 260, nullptr));
    EXPECT_EQ(qp::GetLastError(), qp::kErrorLineNotFound);

    // A closed handle is refused, not followed.
    const qp::HINF stale = inf.Get();
    inf.Close();
    EXPECT_EQ(qp::SetupGetLineCountA(stale, "Models"), -1);
    EXPECT_EQ(qp::GetLastError(), qp::kErrorInvalidHandle);
    EXPECT_EQ(Field(&context, 0), "<error 87>");
}

TEST_F(InfApi, BufferSizes) {
    const std::string path = Write("size.inf", std::string(kHeader) + "[S]\nkey=abcdef\n");
    qp::InfHandle inf(qp::SetupOpenInfFileA(path.c_str(), nullptr, qp::INF_STYLE_WIN4, nullptr));
    qp::INFCONTEXT context;
    ASSERT_TRUE(qp::SetupGetLineByIndexA(inf.Get(), "S", 0, &context));
    const struct {
        qp::DWORD size;
        bool ok;
    } cases[] = {{0, false}, {6, false}, {7, true}, {260, true}};
    for (const auto& c : cases) {
        char buffer[260];
        std::memset(buffer, 'Z', sizeof(buffer));
        qp::DWORD required = 0;
        EXPECT_EQ(qp::SetupGetStringFieldA(&context, 1, buffer, c.size, &required) != 0, c.ok)
            << c.size;
        EXPECT_EQ(required, 7u) << c.size;
        if (c.ok) {
            EXPECT_STREQ(buffer, "abcdef");
        } else {
            EXPECT_EQ(qp::GetLastError(), qp::kErrorInsufficientBuffer);
            EXPECT_EQ(buffer[0], 'Z') << "written past a short buffer";
        }
    }
    qp::DWORD required = 0;
    EXPECT_TRUE(qp::SetupGetStringFieldA(&context, 0, nullptr, 0, &required));
    EXPECT_EQ(required, 4u);
}

std::string Utf16Le(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

TEST_F(InfApi, Utf16WithBomAndLanguageStrings) {
    char language[8];
    std::snprintf(language, sizeof(language), "%04x", qp::GetUserDefaultLangID());
    const std::string utf8 = std::string(kHeader) + "[Manufacturer]\n%Mfg%=Models\n[Strings]\n" +
                             "Mfg=\"Neutral\"\n[Strings." + language +
                             "]\nMfg=\"Caf\xC3\xA9 \xED\x95\x9C\xEA\xB8\x80\"\n";
    // Build the UTF-16 text from UTF-8 by hand: ASCII, é (U+00E9), 한 (U+D55C), 글 (U+AE00).
    std::u16string text;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            text.push_back(c);
        } else if (c < 0xE0) {
            text.push_back(static_cast<char16_t>(((c & 0x1F) << 6) | (utf8[i + 1] & 0x3F)));
            i += 1;
        } else {
            text.push_back(static_cast<char16_t>(((c & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) |
                                                 (utf8[i + 2] & 0x3F)));
            i += 2;
        }
    }
    const std::string path = Write("wide.inf", Utf16Le(text));
    ASSERT_EQ(qp::GetACP(), 1252u);
    qp::InfHandle inf(qp::SetupOpenInfFileA(path.c_str(), "Printer", qp::INF_STYLE_WIN4, nullptr));
    ASSERT_TRUE(inf.IsValid()) << qp::GetLastError();
    qp::INFCONTEXT context;
    ASSERT_TRUE(qp::SetupGetLineByIndexA(inf.Get(), "Manufacturer", 0, &context));
    // é exists in 1252; each Korean character becomes one '?'.
    EXPECT_EQ(Field(&context, 0), "Caf\xE9 ??");

    // Outside a machine: the same bytes read in code page 949 keep the Korean text.
    std::optional<qp::InfFile> korean =
        qp::InfFile::Parse(Utf16Le(text), 949, qp::GetUserDefaultLangID(), nullptr, nullptr);
    ASSERT_TRUE(korean);
    EXPECT_EQ(korean->Sections()[*korean->FindSection("Manufacturer")].lines.at(0).key,
              qp::Utf8ToCodePage("Caf? \xED\x95\x9C\xEA\xB8\x80", 949));

    // UTF-8 with a BOM reads as ANSI once the BOM is gone.
    const std::string bom = Write("bom.inf", "\xEF\xBB\xBF" + std::string(kHeader));
    qp::InfHandle bom_inf(
        qp::SetupOpenInfFileA(bom.c_str(), "Printer", qp::INF_STYLE_WIN4, nullptr));
    EXPECT_TRUE(bom_inf.IsValid());
}

class OemInf : public InfApi {
  protected:
    void SetUp() override {
        InfApi::SetUp();
        inf_folder_ = qp::Machine::Current().InfFolder();
        inf_host_ = *qp::WindowsToHostPath(inf_folder_);
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(inf_host_, ec)) {
            fs::remove(entry.path(), ec);
        }
    }
    std::string inf_folder_;
    fs::path inf_host_;
};

TEST_F(OemInf, CopyNumbersReusesAndRefusesOverwrite) {
    qx::test::WriteHostFile(inf_host_ / "oem0.inf", "someone else's");
    qx::test::WriteHostFile(inf_host_ / "OEM2.INF", "another");
    const std::string first = Write("first.inf", std::string(kHeader) + "[A]\n");
    const std::string second = Write("second.inf", std::string(kHeader) + "[B]\n");

    char name[260] = {};
    char* component = nullptr;
    qp::DWORD required = 0;
    ASSERT_TRUE(qp::SetupCopyOEMInfA(first.c_str(), nullptr, qp::SPOST_PATH,
                                     qp::SP_COPY_NOOVERWRITE, name, 260, &required, &component));
    EXPECT_EQ(std::string(name), inf_folder_ + "\\oem1.inf");
    EXPECT_STREQ(component, "oem1.inf");
    EXPECT_EQ(required, std::string(name).size() + 1);
    EXPECT_EQ(qx::test::ReadHostFile(inf_host_ / "oem1.inf"), std::string(kHeader) + "[A]\n");

    ASSERT_TRUE(qp::SetupCopyOEMInfA(second.c_str(), nullptr, qp::SPOST_PATH, 0, name, 260, nullptr,
                                     nullptr));
    EXPECT_EQ(std::string(name), inf_folder_ + "\\oem3.inf");

    // The same INF again: its copy is named; NOOVERWRITE turns that into 80.
    ASSERT_TRUE(qp::SetupCopyOEMInfA(first.c_str(), nullptr, qp::SPOST_PATH, 0, name, 260, nullptr,
                                     nullptr));
    EXPECT_EQ(std::string(name), inf_folder_ + "\\oem1.inf");
    name[0] = '\0';
    EXPECT_FALSE(qp::SetupCopyOEMInfA(first.c_str(), nullptr, qp::SPOST_PATH,
                                      qp::SP_COPY_NOOVERWRITE, name, 260, nullptr, nullptr));
    EXPECT_EQ(qp::GetLastError(), qp::kErrorFileExists);
    EXPECT_EQ(std::string(name), inf_folder_ + "\\oem1.inf");

    // A short buffer gets 122 and the size, and copies nothing.
    const std::string third = Write("third.inf", std::string(kHeader) + "[C]\n");
    EXPECT_FALSE(qp::SetupCopyOEMInfA(third.c_str(), nullptr, qp::SPOST_PATH, 0, name, 5, &required,
                                      nullptr));
    EXPECT_EQ(qp::GetLastError(), qp::kErrorInsufficientBuffer);
    EXPECT_EQ(required, (inf_folder_ + "\\oem4.inf").size() + 1);
    EXPECT_FALSE(fs::exists(inf_host_ / "oem4.inf"));

    // Missing and unusable sources.
    EXPECT_FALSE(qp::SetupCopyOEMInfA((folder_ + "\\none.inf").c_str(), nullptr, qp::SPOST_PATH, 0,
                                      name, 260, nullptr, nullptr));
    EXPECT_EQ(qp::GetLastError(), qp::kErrorFileNotFound);
    const std::string junk = Write("junk.inf", "not an inf\n");
    EXPECT_FALSE(qp::SetupCopyOEMInfA(junk.c_str(), nullptr, qp::SPOST_PATH, 0, name, 260, nullptr,
                                      nullptr));
    EXPECT_EQ(qp::GetLastError(), qp::kErrorExpectedSectionName);
}

TEST_F(OemInf, UninstallRemovesOnlyOemInfs) {
    qx::test::WriteHostFile(inf_host_ / "oem7.inf", "x");
    qx::test::WriteHostFile(inf_host_ / "oem7.pnf", "x");
    qx::test::WriteHostFile(inf_host_ / "ntprint.inf", "x");
    EXPECT_TRUE(qp::SetupUninstallOEMInfA("OEM7.INF", qp::SUOI_FORCEDELETE, nullptr));
    EXPECT_FALSE(fs::exists(inf_host_ / "oem7.inf"));
    EXPECT_FALSE(fs::exists(inf_host_ / "oem7.pnf"));
    EXPECT_FALSE(qp::SetupUninstallOEMInfA("oem7.inf", 0, nullptr));
    EXPECT_EQ(qp::GetLastError(), qp::kErrorFileNotFound);
    for (const char* name : {"ntprint.inf", "..\\oem1.inf", "oemx.inf", ""}) {
        EXPECT_FALSE(qp::SetupUninstallOEMInfA(name, qp::SUOI_FORCEDELETE, nullptr)) << name;
        EXPECT_EQ(qp::GetLastError(), qp::kErrorInvalidParameter) << name;
    }
    EXPECT_TRUE(fs::exists(inf_host_ / "ntprint.inf"));
}

TEST(InfLibrary, BoundThroughGetProcAddress) {
    qp::HMODULE module = qp::LoadLibraryA("setupapi.dll");
    ASSERT_NE(module, nullptr);
    for (const char* name :
         {"SetupOpenInfFileA", "SetupGetLineByIndexA", "SetupGetStringFieldA", "SetupCloseInfFile",
          "SetupGetLineCountA", "SetupCopyOEMInfA", "SetupUninstallOEMInfA"}) {
        EXPECT_NE(qp::GetProcAddress(module, name), nullptr) << name;
    }
    auto open = reinterpret_cast<decltype(&qp::SetupOpenInfFileA)>(
        qp::GetProcAddress(module, "SetupOpenInfFileA"));
    EXPECT_EQ(open("C:\\no-such.inf", nullptr, qp::INF_STYLE_WIN4, nullptr), qp::kInvalidInfHandle);
    EXPECT_EQ(qp::GetLastError(), qp::kErrorFileNotFound);
    qp::FreeLibrary(module);
}

}  // namespace
