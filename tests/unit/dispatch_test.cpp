#include "dispatch.h"

#include "fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using fixture::lines;
using dispatch = fixture::fake_test;

// zelvlan at 07-12-2026 02:28:32.004120 UTC.
lines run(std::vector<std::string> args)
{
    fake::set_clock(1796610512, 4120);
    EXPECT_EQ(fixture::run_main(zelvlan_main, args), 0);
    return fake::system_commands();
}

TEST_F(dispatch, no_argument_logs_the_program_line)
{
    EXPECT_EQ(run({"zelvlan"}),
              lines{"echo '[07-12-2026 02:28:32.004120] Running...zelvlan' >> /var/log/zelvlan"});
}

struct dispatch_case {
    lines args;
    std::string log_command;
};

using dispatch_table_test = fixture::fake_table<dispatch_case>;

// The handler's own commands come first; the run-log line is the last command.
TEST_P(dispatch_table_test, logs_the_chosen_command_last)
{
    auto commands = run(GetParam().args);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), GetParam().log_command);
}

INSTANTIATE_TEST_SUITE_P(
    table, dispatch_table_test,
    ::testing::Values(
        dispatch_case{{"zelvlan", "--app=get-wifi-ssid"},
                      "echo '[07-12-2026 02:28:32.004120] Running...main_get_wifi_ssid' >> /var/log/zelvlan"},
        dispatch_case{{"zelvlan", "--app=vlan-mgt", "extra", "-x=1"},
                      "echo '[07-12-2026 02:28:32.004120] Running...main_vlan_mgt' >> /var/log/zelvlan"},
        dispatch_case{{"zelvlan", "--app=vlan-wpa"},
                      "echo '[07-12-2026 02:28:32.004120] Running...main_vlan_wpa' >> /var/log/zelvlan"},
        dispatch_case{{"zelvlan", "--apply=vlan-wpa"},
                      "echo '[07-12-2026 02:28:32.004120] Running...main_vlan_wpa' >> /var/log/zelvlan"},
        dispatch_case{{"zelvlan", "x--app=vlan-wpa"},
                      "echo '[07-12-2026 02:28:32.004120] Running...main_vlan_wpa' >> /var/log/zelvlan"},
        dispatch_case{{"zelvlan", "--app=vlan-priority"},
                      "echo '[07-12-2026 02:28:32.004120] Running...main_vlan_priority' >> /var/log/zelvlan"},
        dispatch_case{{"zelvlan", "--app=refresh-lan-ip"},
                      "echo '[07-12-2026 02:28:32.004120] Running...main_refresh_lan_ip' >> /var/log/zelvlan"},
        dispatch_case{{"zelvlan", "--app=vlan-set-uhttpd", "-webport=8080"},
                      "echo '[07-12-2026 02:28:32.004120] Running...main_vlan_uhttpd' >> /var/log/zelvlan"}));

using dispatch_unknown_test = fixture::fake_table<dispatch_case>;

// Nothing runs but the one log line naming what was asked for.
TEST_P(dispatch_unknown_test, runs_no_handler)
{
    EXPECT_EQ(run(GetParam().args), lines{GetParam().log_command});
    EXPECT_TRUE(fake::popen_commands().empty());
}

INSTANTIATE_TEST_SUITE_P(
    table, dispatch_unknown_test,
    ::testing::Values(
        dispatch_case{{"zelvlan", "--app=VLAN-MGT"}, "echo '[07-12-2026 02:28:32.004120] Running...zelvlan: "
                                                     "unknown command [--app=VLAN-MGT]' >> /var/log/zelvlan"},
        dispatch_case{{"zelvlan", "--app="}, "echo '[07-12-2026 02:28:32.004120] Running...zelvlan: "
                                             "unknown command [--app=]' >> /var/log/zelvlan"},
        dispatch_case{{"zelvlan", "--app"}, "echo '[07-12-2026 02:28:32.004120] Running...zelvlan: "
                                            "unknown command [--app]' >> /var/log/zelvlan"},
        dispatch_case{{"zelvlan", "-ap=vlan-mgt"}, "echo '[07-12-2026 02:28:32.004120] Running...zelvlan: "
                                                   "unknown command [-ap=vlan-mgt]' >> /var/log/zelvlan"},
        dispatch_case{{"zelvlan", "vlan-mgt"}, "echo '[07-12-2026 02:28:32.004120] Running...zelvlan: "
                                               "unknown command [vlan-mgt]' >> /var/log/zelvlan"},
        // A hostile argument stays inside the log line's quotes.
        dispatch_case{{"zelvlan", "--app=x';reboot;'\nnext"},
                      "echo '[07-12-2026 02:28:32.004120] Running...zelvlan: "
                      R"(unknown command [--app=x'\'';reboot;'\'' next]' >> /var/log/zelvlan)"}));

TEST_F(dispatch, ten_thousand_character_argument_is_handled)
{
    std::string huge = "--app=" + std::string(10000, 'a');
    auto commands = run({"zelvlan", huge});
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_NE(commands[0].find(huge), std::string::npos);
}

}  // namespace
