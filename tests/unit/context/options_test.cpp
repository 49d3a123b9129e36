#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context/install_context.h"
#include "context_fixture.h"

namespace {

class OptionsTest : public qx::test::DiscTest {
  protected:
    // Initializes a context on a disc with the given option sections and reads them once more,
    // returning the lines of that reading.
    std::vector<std::string> ReadWith(CInstallContext& context, const std::string& sections) {
        WriteDisc(ProgramInfo() + sections);
        EXPECT_TRUE(Init(context));
        const size_t mark = Mark();
        context.ReadOptions();
        return LinesSince(mark);
    }
};

TEST_F(OptionsTest, DefaultsLogOnlyTheAlwaysReportedOptions) {
    CInstallContext context;
    const std::vector<std::string> lines = ReadWith(context, "[OPTION]\r\n");
    const std::vector<std::string> expected = {
        "USB ONLY Option is OFF",    "NETWORK Option is OFF",    "WIRELESS Option is OFF",
        "RIGHT ALIGN Option is OFF", "MAINTENANCE Option is ON", "Community Name size = 14",
    };
    EXPECT_EQ(lines, expected);
    const qx::context::OptionRecord& o = context.Options();
    EXPECT_TRUE(o.device_install);
    EXPECT_TRUE(o.precreate_dialogs);
    EXPECT_TRUE(o.maintenance);
    EXPECT_FALSE(o.oriel_given);
    EXPECT_EQ(o.community_size, 14u);
    EXPECT_EQ(o.max_fw_down_time, 30000u);
}

TEST_F(OptionsTest, WithoutAnyOptionSectionTheReadingSaysSoAndKeepsTheDefaults) {
    CInstallContext context;
    const std::vector<std::string> lines = ReadWith(context, "");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Get Option fail");
    EXPECT_EQ(lines.size(), 7u);
    EXPECT_TRUE(context.Options().device_install);
}

TEST_F(OptionsTest, EveryKeyIsReadInOrderWithItsLogLine) {
    CInstallContext context;
    const std::vector<std::string> lines = ReadWith(context,
                                                    "[OPTION]\r\n"
                                                    "USB_ONLY = 1\r\n"
                                                    "NETWORK = 0\r\n"
                                                    "WIRELESS = 2\r\n"
                                                    "DEVICE_INSTALL = 0\r\n"
                                                    "SHOW_INST_ERROR = 1\r\n"
                                                    "RIGHT_ALIGN = 1\r\n"
                                                    "PRECREATE_DLG = 0\r\n"
                                                    "MAIN_ONLY = 0\r\n"
                                                    "SET_SOURCE_PATH = 1\r\n"
                                                    "USE_PUBLIC_OID = 1\r\n"
                                                    "USE_IPX = 0\r\n"
                                                    "STOP_FIREWALL = 1\r\n"
                                                    "ORIEL = 0\r\n"
                                                    "MAINTENANCE_ON = 0\r\n"
                                                    "COMMUNITY_SIZE = 0x20\r\n"
                                                    "MANUAL_FW_DOWN = 1\r\n"
                                                    "MAX_FW_DOWN_TIME = 5000\r\n");
    const std::vector<std::string> expected = {
        "USB ONLY Option is ON",
        "NETWORK Option is OFF",
        "WIRELESS Option is ON",
        "INSTALL DEVICE Option is OFF",
        "SHOW INSTALL ERROR Option is ON",
        "RIGHT ALIGN Option is ON",
        "PRECREATE DIALOG option is OFF",
        "JUST MAIN option is OFF",
        "SET SOURCE PATH option is ON",
        "USE PUBLIC OID option is ON",
        "USE IPX option is OFF",
        "Stop Firewall option is ON",
        "ORIEL option is OFF",
        "MAINTENANCE Option is OFF",
        "Community Name size = 32",
        "MANUAL FW DOWN option is ON",
        "MAX FW DOWN time is 5000",
    };
    EXPECT_EQ(lines, expected);
    const qx::context::OptionRecord& o = context.Options();
    EXPECT_TRUE(o.usb_only);
    EXPECT_FALSE(o.network);
    EXPECT_TRUE(o.wireless);
    EXPECT_FALSE(o.device_install);
    EXPECT_TRUE(o.show_install_error);
    EXPECT_TRUE(o.right_align);
    EXPECT_FALSE(o.precreate_dialogs);
    EXPECT_FALSE(o.main_only);
    EXPECT_TRUE(o.set_source_path);
    EXPECT_TRUE(o.use_public_oid);
    EXPECT_FALSE(o.use_ipx);
    EXPECT_TRUE(o.stop_firewall);
    EXPECT_FALSE(o.oriel);
    EXPECT_TRUE(o.oriel_given);
    EXPECT_FALSE(o.maintenance);
    EXPECT_EQ(o.community_size, 32u);
    EXPECT_TRUE(o.manual_fw_down);
    EXPECT_EQ(o.max_fw_down_time, 5000u);
}

TEST_F(OptionsTest, TheResolvedVariantComesFirstAndThePlainSectionFillsTheRest) {
    CInstallContext context;
    ReadWith(context,
             "[OPTION.EN]\r\nNETWORK = 1\r\nDEVICE_INSTALL = 0\r\n"
             "[OPTION]\r\nUSB_ONLY = 1\r\nDEVICE_INSTALL = 1\r\n");
    EXPECT_TRUE(context.Options().network);
    EXPECT_TRUE(context.Options().usb_only);
    EXPECT_FALSE(context.Options().device_install);
}

TEST_F(OptionsTest, ZeroSizesKeepTheirDefaultsAndMissingKeysKeepTheCurrentValue) {
    CInstallContext context;
    const std::vector<std::string> lines =
        ReadWith(context, "[OPTION]\r\nCOMMUNITY_SIZE = 0\r\nMAX_FW_DOWN_TIME = 0\r\n");
    EXPECT_EQ(context.Options().community_size, 14u);
    EXPECT_EQ(context.Options().max_fw_down_time, 30000u);
    EXPECT_TRUE(HasLine(lines, "Community Name size = 14"));
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find("MAX FW DOWN"), std::string::npos) << line;
    }

    context.Options().show_install_error = true;
    context.Options().device_install = false;
    context.Options().wireless = true;
    context.ReadOptions();
    EXPECT_TRUE(context.Options().show_install_error);
    EXPECT_FALSE(context.Options().device_install);
    // The three connection flags are always set, missing or not.
    EXPECT_FALSE(context.Options().wireless);
}

}  // namespace
