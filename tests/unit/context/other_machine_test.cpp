// System checks whose answers depend on the Windows version or the user: each case runs the
// probe in a machine of its own, since a process has exactly one.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "other_machine.h"

namespace {

struct Case {
    const char* os;
    // machine.ini lines replaced after creation ("KEY = value").
    std::vector<std::pair<const char*, const char*>> edits;
    const char* expected;
};

void Edit(const std::filesystem::path& ini_path,
          const std::vector<std::pair<const char*, const char*>>& edits) {
    std::ifstream in(ini_path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    in.close();
    for (const auto& [key, value] : edits) {
        const std::regex line(std::string("(^|\n)") + key + " = [^\r\n]*");
        ASSERT_TRUE(std::regex_search(text, line)) << key;
        text = std::regex_replace(text, line, std::string("$1") + key + " = " + value);
    }
    std::ofstream out(ini_path, std::ios::binary | std::ios::trunc);
    out << text;
}

TEST(OsCode, EveryWindowsVersionGetsItsCodeAndFamily) {
    const Case cases[] = {
        {"win95", {}, "code=3 family=10"},
        {"win95osr2", {}, "code=4 family=10"},
        {"win95", {{"SERVICE_PACK", "c"}}, "code=4 family=10"},
        {"win98", {}, "code=6 family=10"},
        {"win98se", {}, "code=7 family=10"},
        {"win98", {{"SERVICE_PACK", "a"}}, "code=7 family=10"},
        {"winme", {}, "code=9 family=10"},
        {"win98", {{"MINOR", "50"}}, "code=10 family=10"},
        {"xp", {{"PLATFORM_ID", "0"}}, "code=2 family=2"},
        {"nt4", {{"MAJOR", "3"}, {"MINOR", "51"}}, "code=11 family=15"},
        {"nt4", {}, "code=12 family=15"},
        {"win2000", {}, "code=13 family=17"},
        {"xp", {}, "code=14 family=17"},
        {"xp64", {}, "code=14 family=17"},
        // 5.2 is a workstation only on 64-bit Windows, and only when the type is known.
        {"xp64", {{"IS_64BIT", "0"}, {"WOW64", "0"}}, "code=16 family=17"},
        {"xp64", {{"EXTENDED_VERSION", "0"}}, "code=16 family=17"},
        {"server2003", {}, "code=16 family=17"},
        {"vista", {}, "code=18 family=17"},
        {"vista64", {}, "code=18 family=17"},
        {"win7", {}, "code=18 family=17"},
        {"win7x64", {}, "code=18 family=17"},
        {"vista", {{"PRODUCT_TYPE", "3"}}, "code=19 family=17"},
        {"win7", {{"PRODUCT_TYPE", "2"}}, "code=19 family=17"},
        {"vista", {{"EXTENDED_VERSION", "0"}}, "code=19 family=17"},
        {"xp", {{"MAJOR", "7"}, {"MINOR", "0"}}, "code=13 family=17"},
    };
    for (const Case& c : cases) {
        qx::test::OtherMachine machine(c.os);
        ASSERT_TRUE(machine.Ready()) << machine.Error();
        Edit(machine.Root() / "machine.ini", c.edits);
        std::string what = c.os;
        for (const auto& [key, value] : c.edits) {
            what += std::string(" ") + key + "=" + value;
        }
        EXPECT_EQ(machine.Run(QXMACHINE_PROBE, "oscode"), std::string(c.expected) + "\n") << what;
    }
}

TEST(ServiceControl, NeedsAnAdministrator) {
    for (const char* admin : {"1", "0"}) {
        qx::test::OtherMachine machine("xp");
        ASSERT_TRUE(machine.Ready()) << machine.Error();
        Edit(machine.Root() / "machine.ini", {{"ADMINISTRATOR", admin}});
        EXPECT_EQ(machine.Run(QXMACHINE_PROBE, "admin"), std::string("admin=") + admin + "\n");
        // The firewall service of Windows XP runs on a fresh machine.
        const std::string expected = std::string(admin) == "1"
                                         ? "start=0 state=4\nquery=0 state=4\nstop=0 state=1\n"
                                         : "start=5 state=0\nquery=5 state=0\nstop=5 state=0\n";
        EXPECT_EQ(machine.Run(QXMACHINE_PROBE, "service SharedAccess"), expected) << admin;
    }
}

}  // namespace
