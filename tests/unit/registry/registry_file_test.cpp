#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "registry/registry_helper.h"
#include "registry_fixture.h"
#include "support/temp_machine.h"

namespace fs = std::filesystem;
namespace qp = qx::platform;

namespace {

using DWORD = qp::DWORD;
const qp::HKEY kHklm = qp::HKEY_LOCAL_MACHINE;

class RegistryFileTest : public qx::test::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        m_folder = qx::test::MakeTestFolder(
            ::testing::UnitTest::GetInstance()->current_test_info()->name(), &m_host);
    }

    std::string File(const char* name) const { return m_folder + "\\" + name; }
    fs::path HostFile(const char* name) const { return m_host / name; }
    std::string Section(const std::string& below = "") const {
        return "[HKEY_LOCAL_MACHINE\\" + Key(below) + "]\r\n";
    }

    DWORD Load(const std::string& text) {
        qx::test::WriteHostFile(HostFile("load.reg"), text);
        return CRegistry::LoadFromFile(File("load.reg").c_str());
    }

  private:
    std::string m_folder;
    fs::path m_host;
};

TEST_F(RegistryFileTest, SaveAndLoadBackAStringANumberAndABinaryValue) {
    ASSERT_EQ(CRegistry::SetValue(Key().c_str(), "v", "x", kHklm), 0u);
    ASSERT_EQ(CRegistry::SetValue(Key().c_str(), "w", DWORD{255}, kHklm), 0u);
    SetRaw(Key(), "b", qp::REG_BINARY, "\x01\x02\x03");

    ASSERT_EQ(CRegistry::SaveToFile(Key().c_str(), File("out.reg").c_str(), kHklm), 0u);
    EXPECT_EQ(qx::test::ReadHostFile(HostFile("out.reg")),
              Section() + "\"v\"=\"x\"\r\n\"w\"=dword:000000ff\r\n\"b\"=hex:\r\n");

    ASSERT_EQ(CRegistry::DeleteKey(Key().c_str(), false, kHklm), 0u);
    EXPECT_EQ(CRegistry::LoadFromFile(File("out.reg").c_str()), 0u);
    EXPECT_EQ(Text(Key(), "v"), "x");
    EXPECT_EQ(Number(Key(), "w"), "255");
    EXPECT_EQ(Raw(Key(), "b"), "error 2");
}

TEST_F(RegistryFileTest, SaveWritesParentsBeforeChildrenAndKeepsValuesInTheirSection) {
    ASSERT_EQ(CRegistry::SetValue(Key().c_str(), "top", "1", kHklm), 0u);
    ASSERT_EQ(CRegistry::SetValue(Key("A").c_str(), "a", DWORD{1}, kHklm), 0u);
    ASSERT_EQ(CRegistry::SetValue(Key("A\\B").c_str(), "b", "2", kHklm), 0u);
    CreateKey(Key("Z"));
    SetRaw(Key("Z"), "m", qp::REG_MULTI_SZ, std::string("a\0\0", 3));  // no line for this type

    ASSERT_EQ(CRegistry::SaveToFile(Key().c_str(), File("tree.reg").c_str(), kHklm), 0u);
    EXPECT_EQ(qx::test::ReadHostFile(HostFile("tree.reg")),
              Section() + "\"top\"=\"1\"\r\n" + Section("A") + "\"a\"=dword:00000001\r\n" +
                  Section("A\\B") + "\"b\"=\"2\"\r\n" + Section("Z"));
}

TEST_F(RegistryFileTest, SaveNeverReplacesOrLeavesAFile) {
    ASSERT_EQ(CRegistry::SetValue(Key().c_str(), "v", "x", kHklm), 0u);
    qx::test::WriteHostFile(HostFile("taken.reg"), "keep me");
    EXPECT_EQ(CRegistry::SaveToFile(Key().c_str(), File("taken.reg").c_str(), kHklm), 80u);
    EXPECT_EQ(qx::test::ReadHostFile(HostFile("taken.reg")), "keep me");

    EXPECT_EQ(CRegistry::SaveToFile(Key("Missing").c_str(), File("missing.reg").c_str(), kHklm),
              2u);
    EXPECT_FALSE(fs::exists(HostFile("missing.reg")));
    EXPECT_EQ(CRegistry::SaveToFile("Software", File("users.reg").c_str(), qp::HKEY_USERS), 87u);
    EXPECT_FALSE(fs::exists(HostFile("users.reg")));
    EXPECT_EQ(CRegistry::SaveToFile(Key().c_str(), "", kHklm), 87u);
}

TEST_F(RegistryFileTest, DwordTextIsReadAsHexadecimalFromTheRight) {
    const struct {
        const char* text;
        DWORD value;
    } cases[] = {
        {"dword:1ffffffff", 4294967295u},
        {"dword:000000ff", 255},
        {"DWORD:2A", 42},
        {"dword: \"12\" ", 0x12},
        {"dword:1g", 0x10},
        {"dword:", 0},
        {"Dword:-1", 1},
        {"dword:abcdef0123", 0xcdef0123u},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Load(Section() + "\"n\" = " + c.text + "\r\n"), 0u) << c.text;
        EXPECT_EQ(Number(Key(), "n"), std::to_string(c.value)) << c.text;
    }
}

TEST_F(RegistryFileTest, UnknownTypesFailTheirLineAndTheLastLineDecides) {
    EXPECT_EQ(Load(Section() + "\"a\"=\"1\"\r\n\"b\"=qword:5\r\n"), 13u);
    EXPECT_EQ(Load(Section() + "\"c\"=bare\r\n\"d\"=dword:5\r\n"), 0u);
    EXPECT_EQ(Load(Section() + "\"e\"=hex(2):41\r\n\"f\"=hex:01,02\r\n"), 0u);
    EXPECT_EQ(Load(Section("One") + "\"g\"=oops\r\n" + Section("Two") + "\"h\"=\"2\"\r\n"), 0u);
    EXPECT_EQ(Load(Section("Three") + "\"i\"=\"3\"\r\n" + Section("Four") + "j\r\n"), 13u);
    EXPECT_EQ(Text(Key(), "a"), "1");
    EXPECT_EQ(Number(Key(), "d"), "5");
    EXPECT_EQ(Raw(Key(), "f"), "error 2");
    EXPECT_EQ(Text(Key("Two"), "h"), "2");
    EXPECT_EQ(Text(Key("Three"), "i"), "3");
    EXPECT_TRUE(Exists(Key("Four")));  // the key is made even when no line loads
}

TEST_F(RegistryFileTest, SectionsNameTheirRoot) {
    ASSERT_EQ(Load("[" + Key("NoRoot") + "]\r\n\"v\"=\"machine\"\r\n" + "[hkey_current_user\\" +
                   Key("User") + "]\r\n\"v\"=\"user\"\r\n" + "[HKEY_USERS\\" + Key("Users") +
                   "]\r\n\"v\"=\"users\"\r\n"),
              0u);
    EXPECT_EQ(Text(Key("NoRoot"), "v"), "machine");
    EXPECT_EQ(Text(Key("User"), "v", qp::HKEY_CURRENT_USER), "user");
    // HKEY_USERS has no name in the format: the section is a path below HKEY_LOCAL_MACHINE.
    EXPECT_EQ(Text("HKEY_USERS\\" + Key("Users"), "v"), "users");
}

TEST_F(RegistryFileTest, LineValuesFollowTheProfileRules) {
    ASSERT_EQ(Load("[STRINGS]\r\n%APP% = \"Qx App\"\r\n" + Section() +
                   "  \"path\"  =  \"C:\\new\\readme.txt\"  \r\n"
                   "\"name\" = \"%APP% 2\"\r\n"
                   "\"quoted\" = \"\"\"inner\"\"\"\r\n"
                   "\"spaced\" = \"  kept  \"\r\n"
                   "\"\" = \"default\"\r\n"
                   "// a comment line\r\n"
                   "\"url\" = \"http://example\" // trailing comment\r\n"),
              0u);
    EXPECT_EQ(Text(Key(), "path"), "C:\\new\\readme.txt");  // no escape conversion
    EXPECT_EQ(Text(Key(), "name"), "Qx App 2");
    EXPECT_EQ(Text(Key(), "quoted"), "inner");
    EXPECT_EQ(Text(Key(), "spaced"), "  kept  ");
    EXPECT_EQ(Raw(Key(), ""), std::string("1:default") + '\0');
    EXPECT_EQ(Text(Key(), "url"), "http://example");
}

TEST_F(RegistryFileTest, LoadReportsAFileItCannotRead) {
    EXPECT_EQ(CRegistry::LoadFromFile(File("none.reg").c_str()), 2u);
    EXPECT_EQ(CRegistry::LoadFromFile(nullptr), 87u);
    EXPECT_EQ(Load(""), 0u);  // nothing to load
}

TEST_F(RegistryFileTest, SaveLeavesOutWhatWouldReadBackAsSomethingElse) {
    const std::string injected = Key("Injected");
    const struct {
        const char* name;
        std::string text;
    } hostile[] = {
        {"newline", "x\r\n[HKEY_LOCAL_MACHINE\\" + injected + "]\r\n\"a\"=\"b\""},
        {"comment", "a\" /* b"},
        {"odd quote", "say \"hi"},
        {"name=with", "equals"},
        {"\"quoted name\"", "x"},
        {"long", std::string(4090, 'x')},
    };
    for (const auto& h : hostile) {
        SetRaw(Key(), h.name, qp::REG_SZ, h.text + '\0');
    }
    SetRaw(Key(), "fine", qp::REG_SZ, std::string("say \"hi\" // now") + '\0');
    CreateKey(Key("Bad\nName"));

    ASSERT_EQ(CRegistry::SaveToFile(Key().c_str(), File("out.reg").c_str(), kHklm), 0u);
    EXPECT_EQ(qx::test::ReadHostFile(HostFile("out.reg")),
              Section() + "\"fine\"=\"say \"hi\" // now\"\r\n");

    ASSERT_EQ(CRegistry::DeleteKey(Key().c_str(), false, kHklm), 0u);
    ASSERT_EQ(CRegistry::LoadFromFile(File("out.reg").c_str()), 0u);
    EXPECT_EQ(Text(Key(), "fine"), "say \"hi\" // now");
    EXPECT_FALSE(Exists(injected));
}

}  // namespace
