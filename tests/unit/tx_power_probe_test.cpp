#include "tx_power_probe.h"

#include "fake_system.h"

#include <gtest/gtest.h>

namespace {

const std::string switch_show = "uci show zelmaxtxpower.dbname.enabled -q";
const std::string disabled_show = "uci show wireless.@wifi-iface[1].disabled -q";
const std::string ssid0 = "uci show wireless | grep \"iface\\[0\\].ssid=\"";
const std::string ssid1 = "uci show wireless | grep \"iface\\[1\\].ssid=\"";
const std::string log_tail = "' >> /var/log/zelmaxtxpower";
const std::string stamp = "[07-12-2026 02:28:32.004120]";

std::string ath_batch(const std::string& name)
{
    return "iwconfig " + name + " txpower 30;sleep 1;echo \"" + name + ":$(iwconfig " + name +
           " | grep Tx-Power | cut -d= -f 2 | awk '{print $1}')\" > /var/max_txpower_" + name + ";echo \"" + name +
           ":$(iwconfig " + name + " | grep Tx-Power | cut -d= -f 2 | awk '{print $1}')\" > /var/max_txpower";
}

int run(std::vector<std::string> args, std::string* out = nullptr)
{
    args.insert(args.begin(), "zelmaxtxpower");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(&a[0]);
    testing::internal::CaptureStdout();
    int status = zelmaxtxpower_main(static_cast<int>(argv.size()), argv.data());
    std::string printed = testing::internal::GetCapturedStdout();
    if (out)
        *out = printed;
    return status;
}

void start(const std::string& enabled)
{
    fake::reset();
    fake::set_clock(1796610512, 4120);  // 07-12-2026 02:28:32.004120 UTC
    if (!enabled.empty())
        fake::script(switch_show, {"zelmaxtxpower.dbname.enabled=" + enabled});
}

TEST(switch, missing_prints_the_error_and_fails)
{
    start("");
    std::string out;
    EXPECT_EQ(run({"--app=get-maxtxpower", "-ifname=ath0"}, &out), -1);
    EXPECT_EQ(out, "UCI Error: 'zelmaxtxpower.dbname.enabled' not found !");
    EXPECT_TRUE(fake::system_commands().empty());
    EXPECT_EQ(fake::popen_commands(), std::vector<std::string>{switch_show});
}

class switched_off : public ::testing::TestWithParam<std::string> {};

TEST_P(switched_off, does_nothing)
{
    start(GetParam());
    std::string out;
    EXPECT_EQ(run({"--app=get-maxtxpower", "-ifname=ath0"}, &out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(fake::calls().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(values, switched_off, ::testing::Values("0", "2", "yes", "-1", "+0", " "));

struct probe_case {
    const char* name;
    std::string ifname;
    std::vector<std::pair<std::string, std::string>> uci;  // popen command, its line
    std::vector<std::string> expected_popen;                // after the switch
    std::vector<std::string> expected_batches;
    std::string log_text;
};

class probes : public ::testing::TestWithParam<probe_case> {};

TEST_P(probes, batch_and_run_log)
{
    const probe_case& c = GetParam();
    start("1");
    for (auto& u : c.uci)
        fake::script(u.first, {u.second});
    EXPECT_EQ(run({"--app=get-maxtxpower", "-ifname=" + c.ifname}), 0);
    std::vector<std::string> popen = {switch_show};
    popen.insert(popen.end(), c.expected_popen.begin(), c.expected_popen.end());
    EXPECT_EQ(fake::popen_commands(), popen);
    std::vector<std::string> system = c.expected_batches;
    system.push_back("echo '" + stamp + " " + c.log_text + log_tail);
    EXPECT_EQ(fake::system_commands(), system);
}

INSTANTIATE_TEST_SUITE_P(
    interfaces, probes,
    ::testing::Values(
        probe_case{"ath0", "ath0", {{ssid0, "wireless.@wifi-iface[0].ssid=Office"}}, {ssid0}, {ath_batch("ath0")},
                   "Running...main_get_maxtxpower"},
        probe_case{"ath0_without_ssid", "ath0", {}, {ssid0}, {}, "Running...main_get_maxtxpower"},
        probe_case{"ath1_disabled",
                   "ath1",
                   {{disabled_show, "wireless.@wifi-iface[1].disabled=1"}, {ssid1, "wireless.@wifi-iface[1].ssid=G"}},
                   {disabled_show},
                   {},
                   "Running...main_get_maxtxpower"},
        probe_case{"ath1_enabled",
                   "ath1",
                   {{disabled_show, "wireless.@wifi-iface[1].disabled=0"}, {ssid1, "wireless.@wifi-iface[1].ssid=G"}},
                   {disabled_show, ssid1},
                   {ath_batch("ath1")},
                   "Running...main_get_maxtxpower"},
        probe_case{"ath3_looked_up_at_1",
                   "ath3",
                   {{ssid1, "wireless.@wifi-iface[1].ssid=Guest"}},
                   {disabled_show, ssid1},
                   {ath_batch("ath3")},
                   "Running...main_get_maxtxpower"},
        probe_case{"hostile_name_is_quoted",
                   "x;reboot $(id)",
                   {{ssid1, "wireless.@wifi-iface[1].ssid=Guest"}},
                   {disabled_show, ssid1},
                   {"iwconfig 'x;reboot $(id)' txpower 30;sleep 1;"
                    "echo \"\"'x;reboot $(id)'\":$(iwconfig 'x;reboot $(id)' | grep Tx-Power | cut -d= -f 2 | "
                    "awk '{print $1}')\" > /var/max_txpower_'x;reboot $(id)';"
                    "echo \"\"'x;reboot $(id)'\":$(iwconfig 'x;reboot $(id)' | grep Tx-Power | cut -d= -f 2 | "
                    "awk '{print $1}')\" > /var/max_txpower"},
                   "Running...main_get_maxtxpower"},
        probe_case{"name_with_slash_writes_no_file",
                   "../etc/x",
                   {{ssid1, "wireless.@wifi-iface[1].ssid=Guest"}},
                   {disabled_show, ssid1},
                   {},
                   "Running...main_get_maxtxpower"}),
    [](const ::testing::TestParamInfo<probe_case>& info) { return std::string(info.param.name); });

struct command_case {
    const char* name;
    std::vector<std::string> args;
    std::string log_text;
};

class commands : public ::testing::TestWithParam<command_case> {};

TEST_P(commands, run_no_probe)
{
    start("1");
    fake::script(ssid0, {"wireless.@wifi-iface[0].ssid=Office"});
    fake::script(ssid1, {"wireless.@wifi-iface[1].ssid=Guest"});
    EXPECT_EQ(run(GetParam().args), 0);
    EXPECT_EQ(fake::popen_commands(), std::vector<std::string>{switch_show});
    EXPECT_EQ(fake::system_commands(),
              std::vector<std::string>{"echo '" + stamp + " " + GetParam().log_text + log_tail});
}

const std::string no_ifname = "Running...main_get_maxtxpower: no -ifname given, nothing probed";

INSTANTIATE_TEST_SUITE_P(
    lines, commands,
    ::testing::Values(command_case{"no_arguments", {}, "Running...zelmaxtxpower"},
                      command_case{"no_app", {"-ifname=ath0"}, "Running...zelmaxtxpower"},
                      command_case{"other_command", {"--app=get-wifi-ssid", "-ifname=ath0"}, "Running...zelmaxtxpower"},
                      command_case{"no_second_argument", {"--app=get-maxtxpower"}, no_ifname},
                      command_case{"no_ifname_option", {"--app=get-maxtxpower", "-name=ath0"}, no_ifname},
                      command_case{"empty_ifname", {"--app=get-maxtxpower", "-ifname="}, no_ifname}),
    [](const ::testing::TestParamInfo<command_case>& info) { return std::string(info.param.name); });

TEST(wifi_iface_ssid, reads_everything_after_the_first_ssid)
{
    fake::reset();
    fake::script(ssid0, {"wireless.@wifi-iface[0].ssid=a ssid=b=c"});
    EXPECT_EQ(wifi_iface_ssid(0), "a ssid=b=c");
    fake::script(ssid1, {"something else"});
    EXPECT_EQ(wifi_iface_ssid(1), "unknown");
    // An unreadable disabled option does not stop the lookup.
    EXPECT_EQ(fake::popen_commands(), (std::vector<std::string>{ssid0, disabled_show, ssid1}));
}

TEST(wifi_iface_ssid, only_position_1_can_be_disabled)
{
    fake::reset();
    fake::script("uci show wireless.@wifi-iface[0].disabled -q", {"wireless.@wifi-iface[0].disabled=1"});
    fake::script(ssid0, {"wireless.@wifi-iface[0].ssid=Office"});
    EXPECT_EQ(wifi_iface_ssid(0), "Office");
}

}  // namespace
