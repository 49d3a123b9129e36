#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "commands/cmd_operator.h"
#include "commands/command_record.h"
#include "context/install_context.h"
#include "context_fixture.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "registry/registry_helper.h"

namespace {

namespace qc = qx::commands;
namespace qp = qx::platform;

// The parts of later subsystems, reduced to what the interpreter asks of them.
struct RecordingWizard : qc::WizardHost {
    std::vector<std::string> opened;
    bool quit = false;
    void DisableFrameAndBackground() override {}
    void EnableFrameAndBackground() override {}
    void PostEndWait(qp::BYTE) override {}
    void OpenDialog(int selector, const std::string& page) override {
        opened.push_back(std::to_string(selector) + ":" + page);
    }
    void DoModal(const std::string& section) override { opened.push_back("modal:" + section); }
    bool ToggleObjects(const std::vector<std::string>& names) override {
        for (const std::string& name : names) {
            opened.push_back("toggle:" + name);
        }
        return true;
    }
    void* Window() override { return nullptr; }
    void PostQuit() override { quit = true; }
};

struct CountedItems : qc::ItemHost {
    int count = 0;
    bool installed = false;
    int Count() override { return count; }
    bool IsThereInstalledItem() override { return installed; }
    void WriteItemInfo() override {}
};

struct RecordingHistory : qc::HistoryHost {
    std::vector<std::string> calls;
    void CopyHistory(const std::string& from, const std::string& to) override {
        calls.push_back("copy " + from + " -> " + to);
    }
    void RemoveHistory(const std::string& key) override { calls.push_back("remove " + key); }
};

struct RecordingPrinters : qc::PrinterHost {
    int ports_deleted = 0;
    std::string DefaultPrinterName() override { return {}; }
    std::vector<std::string> InstalledPrinters() override { return {}; }
    void DeleteRecordedPorts() override { ++ports_deleted; }
};

class CmdOperatorTest : public qx::test::DiscTest {
  protected:
    // A disc with the given configure and command files and an interpreter on its context.
    void Start(const std::string& configure, const std::string& command,
               const std::string& data_more = {}) {
        // One context at a time: the previous disc's goes first.
        m_op.reset();
        m_context.reset();
        WriteDisc("[INSTALLER_FILE_INFO]\r\n" + ProgramInfo() + data_more);
        Write("data\\qxinst.qxi", "[INSTALL_START_INFO]\r\n" + configure);
        Write("data\\qxinst.cmd", "[CMD]\r\n" + command);
        m_context = std::make_unique<CInstallContext>();
        ASSERT_TRUE(Init(*m_context));
        CRegistry::DeleteKey(qc::kTestPageRequestKey, false, qp::HKEY_LOCAL_MACHINE);
        m_op = std::make_unique<CCmdOperator>();
        qc::SetCommandOperator(m_op.get());
        qc::RunPostedCommands();
    }
    void TearDown() override {
        qp::SetMessageBoxPresenter({});
        m_op.reset();
        m_context.reset();
        DiscTest::TearDown();
    }
    bool Run(const std::string& line) { return m_op->RunCommand(qc::ParseSectionLine(line).get()); }
    void SeedInstallRecords() {
        CRegistry::SetValue(InstallingKey().c_str(), "Dest_Dir", "C:\\x", qp::HKEY_LOCAL_MACHINE);
        CRegistry::SetValue(InstalledKey().c_str(), "Dest_Dir", "C:\\x", qp::HKEY_LOCAL_MACHINE);
    }
    // Every message box from now on answers with the button and records its text.
    void Answer(int button) {
        qp::SetMessageBoxPresenter(
            [this, button](void*, const std::string& text, const std::string&, qp::UINT style) {
                m_boxes.push_back(text);
                m_styles.push_back(style);
                return button;
            });
    }

    std::unique_ptr<CInstallContext> m_context;
    std::unique_ptr<CCmdOperator> m_op;
    std::vector<std::string> m_boxes;
    std::vector<qp::UINT> m_styles;
};

TEST(SectionLine, SplitsTypeAndUpToThreeTrimmedParameters) {
    struct Case {
        const char* line;
        const char* type;
        const char* p1;
        const char* p2;
        const char* p3;
    };
    const Case cases[] = {
        {"CT_OPEN_DLG=PAGE_A", "CT_OPEN_DLG", "PAGE_A", "", ""},
        {"CT_OPEN_DLG", "CT_OPEN_DLG", "", "", ""},
        {" CT_COPY_FILE = A , B ", "CT_COPY_FILE", "A", "B", ""},
        {"CT_X=a,b,c,d", "CT_X", "a", "b", "c"},
        {"CT_X=,b", "CT_X", "b", "", ""},
        {"CT_X=a,,,b", "CT_X", "a", "b", ""},
        {"\tCT_X\t=\tA\t,  ,C", "CT_X", "A", "", "C"},
        {"CT_X=a=b,c", "CT_X", "a=b", "c", ""},
        {"=x", "", "x", "", ""},
        {"", "", "", "", ""},
    };
    for (const Case& c : cases) {
        std::unique_ptr<qc::CommandRecord> record = qc::ParseSectionLine(c.line);
        EXPECT_STREQ(record->type, c.type) << c.line;
        EXPECT_STREQ(record->param[0], c.p1) << c.line;
        EXPECT_STREQ(record->param[1], c.p2) << c.line;
        EXPECT_STREQ(record->param[2], c.p3) << c.line;
        EXPECT_STREQ(record->param[3], "") << c.line;
        EXPECT_STREQ(record->param[4], "") << c.line;
    }
}

TEST(CommandRecordFields, OverlongTextIsCutAtTheFieldSize) {
    const std::string longer(qc::kCommandFieldSize + 10, 'x');
    std::unique_ptr<qc::CommandRecord> record = qc::MakeRecord(longer, "a", {}, {}, {}, longer);
    EXPECT_EQ(std::string(record->type).size(), qc::kCommandFieldSize - 1);
    EXPECT_EQ(std::string(record->param[4]).size(), qc::kCommandFieldSize - 1);
    EXPECT_STREQ(record->param[0], "a");
    EXPECT_EQ(sizeof(qc::CommandRecord), 98304u);
}

// Each row of the dispatch table without the later parts: it either works or logs that its
// part is missing and fails.
TEST_F(CmdOperatorTest, EveryRowWorksOrReportsItsMissingPart) {
    Start("", "");
    struct Case {
        const char* line;
        bool result;
        bool missing;  // logs that its part is not available
    };
    const Case cases[] = {
        {"CT_OPEN_DLG=PAGE_A", false, true},
        {"CT_DLG_BACK=PAGE_A", false, true},
        {"CT_DLG_HELP", true, false},
        {"CT_RUNDLL=x", true, false},
        {"CT_RUNDLL_AND_TERMINATE=x", true, false},
        {"CT_VIEW_LICESNE", true, false},
        {"CT_FOO=1,2", true, false},
        {"ct_dlg_help", true, false},
        {"CT_EXE_FILE_NOWAIT=C:\\qxnone\\none.exe", false, false},
        {"CT_EXE_FILE_WAIT=C:\\qxnone\\none.exe", true, false},
        {"CT_EXE_FILE_ACTIVE=C:\\qxnone\\none.exe", true, false},
        {"CT_EXE_AND_TERMINATE=C:\\qxnone\\none.exe", true, false},
        {"CT_OPEN_FILE_WAIT=C:\\qxnone\\none.txt", false, false},
        {"CT_OPEN_FILE_NOWAIT=C:\\qxnone\\none.txt", false, false},
        {"CT_OPEN_MANUAL=C:\\qxnone\\none.pdf", false, false},
        {"CT_COPY_FILE=FILES", false, true},
        {"CT_DELETE_FILE=FILES", false, true},
        {"CT_RUN_REMOTE_INSTALL", false, true},
        {"CT_DELETE_ALL", false, true},
        {"CT_INSTALL_UPDATE", false, true},
        {"CT_COMMAND", false, false},
        {"CT_COMMAND=NO_SUCH_SECTION", false, false},
        {"CT_DO_MODAL=NORMAL.PAGE", false, true},
        {"CT_CHECK_ITEM=CT_DLG_HELP,CT_DLG_HELP", false, true},
        {"CT_FIND_LOCAL_PRINTER=CT_DLG_HELP,CT_FOO", true, false},
        {"CT_FIND_LOCAL_PRINTER=CT_DLG_HELP,PAGE_B", false, true},
        {"CT_REFRESH_SYSTEM", true, false},
        {"CT_REMOVE_DEV", true, false},
        {"CT_RMHW_DLG", true, false},
        {"CT_START_PREVENT_PNP", true, false},
        {"CT_END_PREVENT_PNP", true, false},
        {"CT_DIAGNOSIS=Printer", false, true},
        {"CT_WRITE_ITEM_INFO", false, true},
        {"CT_SHOW_TOGGLE=A,B", false, true},
        {"CT_SET_INST_TYPE=X", true, false},
        {"CT_SET_SETUP_TYPE=INSTALL", true, false},
        {"CT_SET_REMOTE_INSTALL=0", true, false},
        {"CT_CHANGE_LANG=9", true, false},
        {"CT_OPEN_TEST_PAGE=A,B", true, false},
        {"CT_PRINT_TEST_PAGE=P", true, false},
    };
    for (const Case& c : cases) {
        const size_t mark = Mark();
        EXPECT_EQ(Run(c.line), c.result) << c.line;
        bool missing = false;
        for (const std::string& line : LinesSince(mark)) {
            missing = missing || line.find("is not available") != std::string::npos;
        }
        EXPECT_EQ(missing, c.missing) << c.line;
    }
    // A launch that never started a program does not end the run.
    EXPECT_FALSE(m_op->QuitRequested());
}

TEST_F(CmdOperatorTest, DispatchLogsTheRecordAndRejectsANullOne) {
    Start("", "");
    const size_t mark = Mark();
    EXPECT_TRUE(m_op->RunCommand("ct_dlg_help", "a", "b", "", "d", "e"));
    EXPECT_TRUE(HasLine(LinesSince(mark),
                        "Call Command : Type = ct_dlg_help, Param1=a,Param2=b,Param3=,Param4=d,"
                        "Param5=e"));
    EXPECT_FALSE(m_op->RunCommand(nullptr));
    EXPECT_FALSE(qc::SendCommand(""));
    EXPECT_TRUE(qc::SendCommand("CT_SET_INST_TYPE", "Sent"));
    EXPECT_EQ(RegText(InstallingKey(), "Install_Type"), "Sent");
}

TEST_F(CmdOperatorTest, SectionsRunFromTheConfigureFileFirstAndContinuePastFailures) {
    Start(
        "[BOTH]\r\nCT_SET_INST_TYPE=FromConfigure\r\n"
        "[SEQ]\r\nCT_FOO\r\nCT_COMMAND=NO_SUCH\r\nCT_SET_INST_TYPE = Seq , ignored\r\n"
        "CT_SET_SETUP_TYPE=reinst\r\n",
        "[BOTH]\r\nCT_SET_INST_TYPE=FromCommand\r\n"
        "[ONLY_CMD]\r\nCT_SET_SETUP_TYPE=uninst\r\n[EMPTY]\r\n");
    EXPECT_TRUE(Run("CT_COMMAND=both"));
    EXPECT_EQ(RegText(InstallingKey(), "Install_Type"), "FromConfigure");
    EXPECT_TRUE(Run("CT_COMMAND=SEQ"));
    EXPECT_EQ(RegText(InstallingKey(), "Install_Type"), "Seq");
    EXPECT_EQ(RegNumber(InstallingKey(), "Setup_Type"), 3);
    EXPECT_TRUE(m_op->RunCommandSection("ONLY_CMD"));
    EXPECT_EQ(RegNumber(InstallingKey(), "Setup_Type"), 2);
    EXPECT_TRUE(m_op->RunCommandSection("EMPTY"));
}

TEST_F(CmdOperatorTest, NestedSectionsRunAndASelfCallingOneStopsWithOneLine) {
    Start(
        "[OUTER]\r\nCT_COMMAND=MIDDLE\r\nCT_SET_SETUP_TYPE=INSTALL\r\n"
        "[MIDDLE]\r\nCT_COMMAND=INNER\r\n"
        "[INNER]\r\nCT_SET_INST_TYPE=Inner\r\n"
        "[LOOP]\r\nCT_COMMAND=LOOP\r\nCT_SET_INST_TYPE=AfterLoop\r\n"
        "[PING]\r\nCT_COMMAND=PONG\r\n[PONG]\r\nCT_COMMAND=PING\r\n"
        "[ENTERS]\r\nCT_COMMAND=PING\r\nCT_SET_SETUP_TYPE=UNINST\r\n",
        "");
    EXPECT_TRUE(Run("CT_COMMAND=OUTER"));
    EXPECT_EQ(RegText(InstallingKey(), "Install_Type"), "Inner");
    EXPECT_EQ(RegNumber(InstallingKey(), "Setup_Type"), 1);

    for (const char* start : {"LOOP", "PING", "ENTERS"}) {
        const size_t mark = Mark();
        EXPECT_TRUE(m_op->RunCommandSection(start)) << start;
        int refused = 0;
        for (const std::string& line : LinesSince(mark)) {
            refused += line.find("refused") != std::string::npos ? 1 : 0;
        }
        EXPECT_EQ(refused, 1) << start;
    }
    // The lines after the runaway call never ran, at any depth of the cycle; the section
    // that entered the cycle went on.
    EXPECT_EQ(RegText(InstallingKey(), "Install_Type"), "Inner");
    EXPECT_EQ(RegNumber(InstallingKey(), "Setup_Type"), 2);
    // The limit is per chain: the next section runs in full.
    EXPECT_TRUE(Run("CT_COMMAND=INNER"));
    CRegistry::DeleteValue(InstallingKey().c_str(), "Install_Type", qp::HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(Run("CT_COMMAND=OUTER"));
    EXPECT_EQ(RegText(InstallingKey(), "Install_Type"), "Inner");
}

TEST_F(CmdOperatorTest, SetupTypeWordsAndRemoteOption) {
    Start("", "");
    const std::pair<const char*, long> words[] = {
        {"INSTALL", 1}, {"uninst", 2}, {"reinst", 3}, {"ReInst", 3}, {"update", 0}, {"", 0},
    };
    for (const auto& [word, value] : words) {
        EXPECT_TRUE(m_op->RunCommand("CT_SET_SETUP_TYPE", word));
        EXPECT_EQ(RegNumber(InstallingKey(), "Setup_Type"), value) << word;
    }
    const std::pair<const char*, bool> numbers[] = {
        {" 1 ", true}, {"0", false}, {"\t7", true}, {"x", false}, {"-1", true}, {"", false},
    };
    for (const auto& [text, on] : numbers) {
        EXPECT_TRUE(m_op->RunCommand("CT_SET_REMOTE_INSTALL", text));
        EXPECT_EQ(m_context->Options().remote_installation, on) << "[" << text << "]";
    }
}

TEST_F(CmdOperatorTest, ChangeLanguageReadsHexadecimalAndDecimalAlike) {
    Start("", "", "[PROGRAM_LANG_INFO]\r\n0x0409\r\n0x0412\r\n");
    for (const char* id : {"0x0412", "1042"}) {
        m_context->SetLanguage(0x0409, false);
        ASSERT_EQ(m_context->Language().current, 0x0409);
        EXPECT_TRUE(m_op->RunCommand("CT_CHANGE_LANG", id));
        EXPECT_EQ(m_context->Language().current, 0x0412) << id;
    }
}

TEST_F(CmdOperatorTest, CancelTypeIsReadOnceFromTheConfigureFile) {
    const std::pair<const char*, int> cases[] = {
        {"", 0},
        {"CANCEL_TYPE = RESUME_EXIT\r\n", 0},
        {"CANCEL_TYPE = ok_cancel\r\n", 1},
        {"CANCEL_TYPE = null\r\n", 2},
        {"CANCEL_TYPE = OTHER\r\n", 0},
    };
    for (const auto& [key, type] : cases) {
        Start(std::string("[DLG_COMMON]\r\n") + key, "");
        ASSERT_TRUE(m_op);
        EXPECT_EQ(m_op->CancelType(), type) << key;
    }
}

TEST_F(CmdOperatorTest, CancelAsksByTypeAndEndsOnTheExitButton) {
    struct Case {
        const char* cancel_type;
        int answer;  // 0: nobody answers (the box's default)
        bool asked;
        bool ends;
    };
    const Case cases[] = {
        {"RESUME_EXIT", 0, false, false}, {"RESUME_EXIT", 1, true, false},
        {"RESUME_EXIT", 2, true, true},   {"OK_CANCEL", 0, false, true},
        {"OK_CANCEL", 1, true, true},     {"OK_CANCEL", qp::IDNO, true, false},
        {"NULL", 2, false, true},
    };
    for (const Case& c : cases) {
        Start(std::string("[DLG_COMMON]\r\nCANCEL_TYPE=") + c.cancel_type +
                  "\r\n[CANCEL_DLG]\r\nCANCEL_MSG = Really quit?\r\n",
              "");
        ASSERT_TRUE(m_op);
        SeedInstallRecords();
        m_boxes.clear();
        if (c.answer != 0) {
            Answer(c.answer);
        } else {
            qp::SetMessageBoxPresenter({});
        }
        EXPECT_TRUE(Run("CT_DLG_CANCEL"));
        const std::string what = std::string(c.cancel_type) + "/" + std::to_string(c.answer);
        EXPECT_EQ(!m_boxes.empty(), c.asked) << what;
        if (c.asked) {
            EXPECT_EQ(m_boxes.front(), "Really quit?") << what;
        }
        EXPECT_EQ(m_op->QuitRequested(), c.ends) << what;
        EXPECT_EQ(RegText(InstallingKey(), "Dest_Dir"), c.ends ? "<missing>" : "C:\\x") << what;
        // Without the item list the installed records are never taken away.
        EXPECT_EQ(RegText(InstalledKey(), "Dest_Dir"), "C:\\x") << what;
    }
}

TEST_F(CmdOperatorTest, CancelWithoutAConfiguredTextAsksTheBuiltInQuestion) {
    Start("", "");
    Answer(1);
    EXPECT_TRUE(Run("CT_DLG_CANCEL"));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].rfind("Setup is not complete.", 0), 0u);
    EXPECT_EQ(m_styles[0] & 0xFFu, 54u);
    EXPECT_FALSE(m_op->QuitRequested());
}

TEST_F(CmdOperatorTest, TerminateRemovesTheRecordsOfARunThatInstalledNothing) {
    struct Case {
        bool installed;
        bool cancelled;
        bool network;
    };
    const Case cases[] = {
        {false, true, true}, {false, false, true}, {true, true, true}, {false, true, false}};
    for (const Case& c : cases) {
        Start("[DLG_COMMON]\r\nCANCEL_TYPE=NULL\r\n", "");
        ASSERT_TRUE(m_op);
        SeedInstallRecords();
        m_context->Options().network = c.network;
        RecordingWizard wizard;
        CountedItems items;
        items.installed = c.installed;
        RecordingHistory history;
        RecordingPrinters printers;
        m_op->SetHosts({&wizard, &items, &history, &printers, nullptr});
        EXPECT_TRUE(Run(c.cancelled ? "CT_DLG_CANCEL" : "CT_APP_TERMINATE"));
        const qx::context::RegistryKeys& keys = m_context->Keys();
        std::vector<std::string> expected = {"copy " + keys.installing_history + " -> " +
                                             keys.installed_history};
        if (!c.installed) {
            expected.push_back("remove " + keys.installed_history);
        }
        EXPECT_EQ(history.calls, expected);
        EXPECT_EQ(printers.ports_deleted, !c.installed && c.cancelled && c.network ? 1 : 0);
        EXPECT_EQ(RegText(InstalledKey(), "Dest_Dir"), c.installed ? "C:\\x" : "<missing>");
        EXPECT_EQ(RegText(InstallingKey(), "Dest_Dir"), "<missing>");
        EXPECT_TRUE(wizard.quit);
    }
}

TEST_F(CmdOperatorTest, ChoiceRuleRunsACommandOrOpensAPage) {
    Start("", "");
    RecordingWizard wizard;
    CountedItems items;
    m_op->SetHosts({&wizard, &items, nullptr, nullptr, nullptr});
    // No device of the product is connected here: the second choice.
    EXPECT_TRUE(m_op->RunCommand("CT_FIND_LOCAL_PRINTER", "PAGE_A", "PAGE_B"));
    EXPECT_TRUE(m_op->RunCommand("CT_FIND_LOCAL_PRINTER", "PAGE_A", "ct_set_inst_type=Chosen"));
    EXPECT_EQ(RegText(InstallingKey(), "Install_Type"), "Chosen");

    Answer(1);
    const std::pair<int, const char*> counts[] = {{0, "0:TWO"}, {1, "0:ONE"}, {3, "0:TWO"}};
    for (const auto& [count, page] : counts) {
        items.count = count;
        m_boxes.clear();
        EXPECT_TRUE(m_op->RunCommand("CT_CHECK_ITEM", "ONE", "TWO"));
        EXPECT_EQ(wizard.opened.back(), page) << count;
        EXPECT_EQ(m_boxes.size(), count == 0 ? 1u : 0u) << count;
    }
    EXPECT_EQ(wizard.opened.front(), "0:PAGE_B");
    EXPECT_TRUE(m_op->RunCommand("CT_DLG_BACK", "X"));
    EXPECT_EQ(wizard.opened.back(), "-1:X");
    EXPECT_TRUE(m_op->RunCommand("CT_SHOW_TOGGLE", " \"A\" ,\tB"));
    EXPECT_EQ(wizard.opened.back(), "toggle:B");
    EXPECT_EQ(wizard.opened[wizard.opened.size() - 2], "toggle:A");
}

TEST_F(CmdOperatorTest, PostedCommandsRunInOrderOnTheDrainingThread) {
    Start("", "");
    RecordingWizard wizard;
    m_op->SetHosts({&wizard, nullptr, nullptr, nullptr, nullptr});
    qc::PostCommand("CT_SET_INST_TYPE", "First");
    std::unique_ptr<qc::CommandRecord> record = qc::MakeRecord("CT_SET_INST_TYPE", "Second");
    qc::PostCommand(record.get());
    qc::SetField(record->param[0], "Changed after posting");
    EXPECT_TRUE(Run("CT_OPEN_TEST_PAGE=A,B"));
    EXPECT_TRUE(Run("CT_OPEN_TEST_PAGE=A"));
    EXPECT_EQ(RegText(InstallingKey(), "Install_Type"), "<missing>");
    EXPECT_EQ(qc::PostedCommandCount(), 4u);
    EXPECT_EQ(qc::RunPostedCommands(), 4);
    EXPECT_EQ(RegText(InstallingKey(), "Install_Type"), "Second");
    // No device: the second page, or the first when there is no second.
    EXPECT_EQ(wizard.opened, (std::vector<std::string>{"0:B", "0:A"}));
}

TEST_F(CmdOperatorTest, TestPageFallsBackToTheSystemTestPage) {
    Start("", "");
    const qp::HKEY hklm = qp::HKEY_LOCAL_MACHINE;
    const std::string key = qc::kTestPageRequestKey;
    // No test-page module on this disc: the module answers -1.
    EXPECT_TRUE(Run("CT_PRINT_TEST_PAGE=Office Laser"));
    CRegistry::SetValue(InstallingKey().c_str(), "Default_Printer", "Default One", hklm);
    EXPECT_TRUE(Run("CT_PRINT_META_TEST_PAGE"));
    EXPECT_EQ(RegNumber(key, "Count"), 2);
    EXPECT_EQ(RegText(key, "1").rfind("Office Laser|", 0), 0u) << RegText(key, "1");
    EXPECT_EQ(RegText(key, "2").rfind("Default One|", 0), 0u) << RegText(key, "2");
    CRegistry::DeleteValue(InstallingKey().c_str(), "Default_Printer", hklm);
    const size_t mark = Mark();
    EXPECT_TRUE(Run("CT_PRINT_TEST_PAGE"));
    EXPECT_TRUE(HasLine(LinesSince(mark), "System test page not printed: no printer name"));
    EXPECT_EQ(RegNumber(key, "Count"), 2);
}

TEST_F(CmdOperatorTest, RegistryRowsHonourTheApplicabilityCheck) {
    const std::string key = "Software\\QxCmdOp\\" + m_name;
    Start("", "[ADD]\r\nROOTKEY = HKLM\r\nKEYNAME = " + key +
                  "\r\nVALUE = REG_SZ, Name, yes\r\n"
                  "[ADD_FR]\r\nSUPPORTED_LANG = FR, DE\r\nROOTKEY = HKLM\r\nKEYNAME = " +
                  key +
                  "\r\nVALUE = REG_SZ, French, yes\r\n"
                  "[NOT_EN]\r\nUNSUPPORTED_LANG = fr,\ten\r\n"
                  "[EMPTY_LIST]\r\nSUPPORTED_LANG =\r\n"
                  "[DEL]\r\nROOTKEY = HKLM\r\nKEYNAME = " +
                  key + "\r\nVALUE = REG_SZ, Name\r\n");
    EXPECT_TRUE(m_op->IsSectionApplicable("ADD"));
    EXPECT_FALSE(m_op->IsSectionApplicable("ADD_FR"));
    EXPECT_FALSE(m_op->IsSectionApplicable("NOT_EN"));
    EXPECT_FALSE(m_op->IsSectionApplicable("EMPTY_LIST"));
    EXPECT_TRUE(Run("CT_ADDREG=ADD"));
    EXPECT_TRUE(Run("CT_ADDREG=ADD_FR"));
    EXPECT_EQ(RegText(key, "Name"), "yes");
    EXPECT_EQ(RegText(key, "French"), "<missing>");
    EXPECT_TRUE(Run("CT_DELREG=DEL"));
    EXPECT_EQ(RegText(key, "Name"), "<missing>");
    CRegistry::DeleteKey(key.c_str(), false, qp::HKEY_LOCAL_MACHINE);
}

TEST_F(CmdOperatorTest, EndCommandComesFromTheStartSectionOrFromSetupType) {
    Start(
        "[START]\r\nEND_CMD = MY_END\r\n[MY_END]\r\nCT_SET_INST_TYPE=MyEnd\r\n"
        "[INST_END_CMD]\r\nCT_SET_INST_TYPE=Inst\r\n"
        "[UNINST_END_CMD]\r\nCT_SET_INST_TYPE=Uninst\r\n"
        "[REINST_END_CMD]\r\nCT_SET_INST_TYPE=Reinst\r\n",
        "");
    const qp::HKEY hklm = qp::HKEY_LOCAL_MACHINE;
    EXPECT_TRUE(qc::RunStartSectionCommand(*m_op, "START", "END_CMD"));
    EXPECT_EQ(RegText(InstallingKey(), "Install_Type"), "MyEnd");
    // Without END_CMD and without Setup_Type nothing runs.
    EXPECT_FALSE(qc::RunStartSectionCommand(*m_op, "OTHER", "END_CMD"));
    EXPECT_FALSE(qc::RunStartSectionCommand(*m_op, "OTHER", "START_CMD"));
    const std::pair<qp::DWORD, const char*> types[] = {
        {1, "Inst"}, {2, "Uninst"}, {3, "Reinst"}, {5, "Reinst"}};
    for (const auto& [type, text] : types) {
        CRegistry::SetValue(InstallingKey().c_str(), "Setup_Type", type, hklm);
        EXPECT_TRUE(qc::RunStartSectionCommand(*m_op, "OTHER", "END_CMD")) << type;
        EXPECT_EQ(RegText(InstallingKey(), "Install_Type"), text) << type;
    }
    CRegistry::SetValue(InstallingKey().c_str(), "Setup_Type", qp::DWORD{9}, hklm);
    EXPECT_FALSE(qc::RunStartSectionCommand(*m_op, "OTHER", "END_CMD"));
    // An uninstall that left installed items runs no end command.
    CountedItems items;
    items.installed = true;
    m_op->SetHosts({nullptr, &items, nullptr, nullptr, nullptr});
    CRegistry::SetValue(InstallingKey().c_str(), "Setup_Type", qp::DWORD{2}, hklm);
    CRegistry::SetValue(InstallingKey().c_str(), "Install_Type", "Before", hklm);
    EXPECT_FALSE(qc::RunStartSectionCommand(*m_op, "OTHER", "END_CMD"));
    EXPECT_EQ(RegText(InstallingKey(), "Install_Type"), "Before");
}

}  // namespace
