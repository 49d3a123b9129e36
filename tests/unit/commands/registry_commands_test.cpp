#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "commands/registry_commands.h"
#include "context/install_context.h"
#include "context_fixture.h"
#include "platform/registry.h"
#include "registry/registry_helper.h"

namespace {

namespace qc = qx::commands;
namespace qp = qx::platform;

class RegistryCommandsTest : public qx::test::DiscTest {
  protected:
    // A disc whose command file holds the sections, and a context on it.
    void Start(const std::string& command_file) {
        WriteDisc("[INSTALLER_FILE_INFO]\r\n" + ProgramInfo());
        Write("data\\qxinst.cmd", command_file);
        m_context = std::make_unique<CInstallContext>();
        ASSERT_TRUE(Init(*m_context));
        CRegistry::DeleteKey(TestKey().c_str(), false, qp::HKEY_LOCAL_MACHINE);
        CRegistry::DeleteKey(TestKey().c_str(), false, qp::HKEY_CURRENT_USER);
    }
    void TearDown() override {
        m_context.reset();
        DiscTest::TearDown();
    }
    std::string TestKey() const { return "Software\\QxCmdTest\\" + m_name; }

    static std::string Text(qp::HKEY root, const std::string& key, const char* name) {
        std::vector<char> buffer(4096, '\0');
        if (CRegistry::GetValue(key.c_str(), name, buffer.data(), root,
                                static_cast<qp::DWORD>(buffer.size())) != 0) {
            return "<missing>";
        }
        return buffer.data();
    }
    static long Number(qp::HKEY root, const std::string& key, const char* name) {
        qp::DWORD value = 0;
        if (CRegistry::GetValue(key.c_str(), name, &value, root, 0) != 0) {
            return -1;
        }
        return static_cast<long>(value);
    }
    bool KeyExists(qp::HKEY root) const {
        qp::RegKey key;
        return qp::RegOpenKeyExA(root, TestKey().c_str(), 0, qp::KEY_READ, key.Receive()) == 0;
    }

    std::unique_ptr<CInstallContext> m_context;
};

TEST_F(RegistryCommandsTest, AddWritesTheListedValues) {
    Start("[ADD]\r\nROOTKEY = HKLM\r\nKEYNAME = " + TestKey() +
          "\r\n"
          "VALUE = REG_DWORD, Count, 0x10\r\n"
          "VALUE = reg_dword, Decimal, 42\r\n"
          "VALUE = REG_SZ, Path, C:\\a,b\r\n"
          "VALUE = REG_DWORD, , 5\r\n"
          "VALUE = ,,REG_SZ, Lead, x\r\n"
          "VALUE = REG_EXPAND_SZ, Other,\t spaced  \r\n"
          "OTHER = REG_SZ, NotAValue, x\r\n");
    const size_t mark = Mark();
    EXPECT_TRUE(qc::AddRegistry("ADD"));
    EXPECT_EQ(LinesSince(mark), std::vector<std::string>{});
    const qp::HKEY hklm = qp::HKEY_LOCAL_MACHINE;
    EXPECT_EQ(Number(hklm, TestKey(), "Count"), 16);
    EXPECT_EQ(Number(hklm, TestKey(), "Decimal"), 42);
    EXPECT_EQ(Text(hklm, TestKey(), "Path"), "C:\\a,b");
    EXPECT_EQ(Text(hklm, TestKey(), "Other"), "spaced");
    // Leading commas are skipped: the pieces are REG_SZ, Lead and x.
    EXPECT_EQ(Text(hklm, TestKey(), "Lead"), "x");
    EXPECT_EQ(Text(hklm, TestKey(), "NotAValue"), "<missing>");
    // The value with an empty name was not written, neither as the default value nor as "5".
    EXPECT_EQ(Text(hklm, TestKey(), ""), "<missing>");
    EXPECT_EQ(Number(hklm, TestKey(), "5"), -1);
}

TEST_F(RegistryCommandsTest, RootKeyIsACaseBlindSearchForHkcu) {
    Start("[USER]\r\nROOTKEY = hkcu\\something\r\nKEYNAME = Software\\QxCmdTest\\" + m_name +
          "\r\nVALUE = REG_SZ, Who, user\r\n"
          "[MACHINE]\r\nROOTKEY = HKEY_CURRENT_USER\r\nKEYNAME = Software\\QxCmdTest\\" +
          m_name + "\r\nVALUE = REG_SZ, Where, machine\r\n");
    EXPECT_TRUE(qc::AddRegistry("USER"));
    EXPECT_TRUE(qc::AddRegistry("MACHINE"));
    EXPECT_EQ(Text(qp::HKEY_CURRENT_USER, TestKey(), "Who"), "user");
    EXPECT_EQ(Text(qp::HKEY_LOCAL_MACHINE, TestKey(), "Who"), "<missing>");
    // "HKEY_CURRENT_USER" does not contain HKCU: the local machine.
    EXPECT_EQ(Text(qp::HKEY_LOCAL_MACHINE, TestKey(), "Where"), "machine");
}

TEST_F(RegistryCommandsTest, DeleteRemovesValuesAndOnRequestTheKey) {
    const std::string key = "KEYNAME = Software\\QxCmdTest\\" + m_name + "\r\n";
    Start("[ADD]\r\n" + key +
          "VALUE = REG_SZ, OldName, 1\r\nVALUE = REG_SZ, Other, 2\r\nVALUE = REG_SZ, Kept, 3\r\n"
          "[DEL]\r\n" +
          key +
          "VALUE = OldName\r\nVALUE = REG_SZ, Other, ignored\r\nVALUE = REG_SZ, NotThere, x\r\n"
          "DELETE_KEY = 0\r\n"
          "[DEL_KEY]\r\n" +
          key + "VALUE = Kept\r\nDELETE_KEY = 0x1\r\n");
    ASSERT_TRUE(qc::AddRegistry("ADD"));
    size_t mark = Mark();
    EXPECT_TRUE(qc::DeleteRegistry("DEL"));
    EXPECT_EQ(LinesSince(mark), std::vector<std::string>{});
    const qp::HKEY hklm = qp::HKEY_LOCAL_MACHINE;
    EXPECT_EQ(Text(hklm, TestKey(), "OldName"), "<missing>");
    EXPECT_EQ(Text(hklm, TestKey(), "Other"), "<missing>");
    EXPECT_EQ(Text(hklm, TestKey(), "Kept"), "3");
    mark = Mark();
    EXPECT_TRUE(qc::DeleteRegistry("DEL_KEY"));
    EXPECT_EQ(LinesSince(mark), std::vector<std::string>{"Delete Key (" + TestKey() + ") "});
    EXPECT_FALSE(KeyExists(hklm));
}

TEST_F(RegistryCommandsTest, ErrorsAreLoggedAndFail) {
    Start(
        "[NO_KEY]\r\nROOTKEY = HKLM\r\nVALUE = REG_SZ, A, b\r\n"
        "[EMPTY_KEY]\r\nKEYNAME =\r\nVALUE = REG_SZ, A, b\r\n");
    struct Case {
        bool (*command)(const std::string&);
        const char* section;
        const char* line;
    };
    const Case cases[] = {
        {qc::AddRegistry, "", "Get Add registry section error!"},
        {qc::DeleteRegistry, "", "Get Delete registry section error!"},
        {qc::AddRegistry, "NO_KEY", "Get Add registry Key Name error!"},
        {qc::AddRegistry, "EMPTY_KEY", "Get Add registry Key Name error!"},
        {qc::AddRegistry, "NO_SUCH_SECTION", "Get Add registry Key Name error!"},
        {qc::DeleteRegistry, "NO_KEY", "Get Delete registry Key Name error!"},
    };
    for (const Case& c : cases) {
        const size_t mark = Mark();
        EXPECT_FALSE(c.command(c.section)) << c.line;
        EXPECT_EQ(LinesSince(mark), std::vector<std::string>{c.line}) << c.section;
    }
}

TEST_F(RegistryCommandsTest, SectionsThatDoNotApplyAreSkipped) {
    const std::string body = "KEYNAME = Software\\QxCmdTest\\" + m_name + "\r\n";
    Start("[OTHER_LANG]\r\nSUPPORTED_LANG = FR, DE\r\n" + body + "VALUE = REG_SZ, A, 1\r\n" +
          "[NOT_EN]\r\nUNSUPPORTED_LANG = fr,\ten \r\n" + body + "VALUE = REG_SZ, B, 1\r\n" +
          "[NO_OS]\r\nSUPPORTED_OS =\r\n" + body + "VALUE = REG_SZ, C, 1\r\n" +
          "[MY_LANG]\r\nSUPPORTED_LANG = FR, en\r\n" + body + "VALUE = REG_SZ, D, 1\r\n" +
          "[DEL_OTHER]\r\nSUPPORTED_LANG = FR\r\n" + body + "VALUE = D\r\nDELETE_KEY = 1\r\n");
    for (const char* section : {"OTHER_LANG", "NOT_EN", "NO_OS"}) {
        const size_t mark = Mark();
        EXPECT_TRUE(qc::AddRegistry(section)) << section;
        EXPECT_EQ(LinesSince(mark), std::vector<std::string>{}) << section;
    }
    EXPECT_FALSE(KeyExists(qp::HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(qc::AddRegistry("MY_LANG"));
    EXPECT_TRUE(qc::DeleteRegistry("DEL_OTHER"));
    EXPECT_EQ(Text(qp::HKEY_LOCAL_MACHINE, TestKey(), "D"), "1");
}

}  // namespace
