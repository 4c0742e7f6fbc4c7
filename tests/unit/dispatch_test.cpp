#include "dispatch.h"

#include "fake_system.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string stamp = "[07-12-2026 02:28:32.004120] ";

std::vector<std::string> run(std::vector<std::string> args)
{
    fake::reset();
    fake::set_clock(1796610512, 4120);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    EXPECT_EQ(zelvlan_main(static_cast<int>(args.size()), argv.data()), 0);
    return fake::system_commands();
}

std::string log_command(const std::string& text)
{
    return "echo '" + stamp + text + "' >> /var/log/zelvlan";
}

TEST(dispatch, no_argument_logs_the_program_line)
{
    EXPECT_EQ(run({"zelvlan"}), std::vector<std::string>{log_command("Running...zelvlan")});
}

struct dispatch_case {
    std::vector<std::string> args;
    const char* log_text;
};

class dispatch_table_test : public ::testing::TestWithParam<dispatch_case> {};

// The handler's own commands come first; the run-log line is the last command.
TEST_P(dispatch_table_test, logs_the_chosen_command_last)
{
    auto commands = run(GetParam().args);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), log_command(GetParam().log_text));
}

INSTANTIATE_TEST_SUITE_P(
    table, dispatch_table_test,
    ::testing::Values(dispatch_case{{"zelvlan", "--app=get-wifi-ssid"}, "Running...main_get_wifi_ssid"},
                      dispatch_case{{"zelvlan", "--app=vlan-mgt", "extra", "-x=1"}, "Running...main_vlan_mgt"},
                      dispatch_case{{"zelvlan", "--app=vlan-wpa"}, "Running...main_vlan_wpa"},
                      dispatch_case{{"zelvlan", "--apply=vlan-wpa"}, "Running...main_vlan_wpa"},
                      dispatch_case{{"zelvlan", "x--app=vlan-wpa"}, "Running...main_vlan_wpa"},
                      dispatch_case{{"zelvlan", "--app=vlan-priority"}, "Running...main_vlan_priority"},
                      dispatch_case{{"zelvlan", "--app=refresh-lan-ip"}, "Running...main_refresh_lan_ip"},
                      dispatch_case{{"zelvlan", "--app=vlan-set-uhttpd", "-webport=8080"},
                                    "Running...main_vlan_uhttpd"}));

class dispatch_unknown_test : public ::testing::TestWithParam<std::vector<std::string>> {};

// Nothing runs but the one log line naming what was asked for.
TEST_P(dispatch_unknown_test, runs_no_handler)
{
    auto args = GetParam();
    auto commands = run(args);
    EXPECT_TRUE(fake::popen_commands().empty());
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], log_command("Running...zelvlan: unknown command [" + args[1] + "]"));
}

INSTANTIATE_TEST_SUITE_P(table, dispatch_unknown_test,
                         ::testing::Values(std::vector<std::string>{"zelvlan", "--app=VLAN-MGT"},
                                           std::vector<std::string>{"zelvlan", "--app="},
                                           std::vector<std::string>{"zelvlan", "--app"},
                                           std::vector<std::string>{"zelvlan", "-ap=vlan-mgt"},
                                           std::vector<std::string>{"zelvlan", "vlan-mgt"}));

TEST(dispatch, hostile_argument_stays_inside_the_log_quotes)
{
    auto commands = run({"zelvlan", "--app=x';reboot;'\nnext"});
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], log_command("Running...zelvlan: unknown command [--app=x'\\'';reboot;'\\'' next]"));
}

TEST(dispatch, ten_thousand_character_argument_is_handled)
{
    std::string huge = "--app=" + std::string(10000, 'a');
    auto commands = run({"zelvlan", huge});
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_NE(commands[0].find(huge), std::string::npos);
}

}  // namespace
