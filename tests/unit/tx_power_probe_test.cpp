#include "tx_power_probe.h"

#include "fixture.h"

#include <gtest/gtest.h>

namespace {

using fixture::lines;

const std::string switch_show = "uci show zelmaxtxpower.dbname.enabled -q";
const std::string disabled_show = "uci show wireless.@wifi-iface[1].disabled -q";
const std::string ssid0 = R"(uci show wireless | grep "iface\[0\].ssid=")";
const std::string ssid1 = R"(uci show wireless | grep "iface\[1\].ssid=")";
const std::string probe_log =
    "echo '[07-12-2026 02:28:32.004120] Running...main_get_maxtxpower' >> /var/log/zelmaxtxpower";

// zelmaxtxpower with these arguments; what it printed goes to out.
int run(std::vector<std::string> args, std::string* out = nullptr)
{
    args.insert(args.begin(), "zelmaxtxpower");
    testing::internal::CaptureStdout();
    int status = fixture::run_main(zelmaxtxpower_main, args);
    std::string printed = testing::internal::GetCapturedStdout();
    if (out)
        *out = printed;
    return status;
}

// At 07-12-2026 02:28:32.004120 UTC, with the switch set to this ("": absent).
void start(const std::string& enabled)
{
    fake::set_clock(1796610512, 4120);
    if (!enabled.empty())
        fake::script(switch_show, {"zelmaxtxpower.dbname.enabled=" + enabled});
}

using tx_switch = fixture::fake_test;

TEST_F(tx_switch, missing_prints_the_error_and_fails)
{
    start("");
    std::string out;
    EXPECT_EQ(run({"--app=get-maxtxpower", "-ifname=ath0"}, &out), -1);
    EXPECT_EQ(out, "UCI Error: 'zelmaxtxpower.dbname.enabled' not found !");
    EXPECT_TRUE(fake::system_commands().empty());
    EXPECT_EQ(fake::popen_commands(), lines{switch_show});
}

using switched_off = fixture::fake_table<std::string>;

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
    lines popen;
    lines system;
};

using probes = fixture::fake_table<probe_case>;

TEST_P(probes, batch_and_run_log)
{
    const probe_case& c = GetParam();
    start("1");
    for (auto& u : c.uci)
        fake::script(u.first, {u.second});
    EXPECT_EQ(run({"--app=get-maxtxpower", "-ifname=" + c.ifname}), 0);
    EXPECT_EQ(fake::popen_commands(), c.popen);
    EXPECT_EQ(fake::system_commands(), c.system);
}

INSTANTIATE_TEST_SUITE_P(
    interfaces, probes,
    ::testing::Values(
        probe_case{"ath0",
                   "ath0",
                   {{ssid0, "wireless.@wifi-iface[0].ssid=Office"}},
                   {switch_show, ssid0},
                   {R"x(iwconfig ath0 txpower 30;sleep 1;)x"
                    R"x(echo "ath0:$(iwconfig ath0 | grep Tx-Power | cut -d= -f 2 | awk '{print $1}')" > /var/max_txpower_ath0;)x"
                    R"x(echo "ath0:$(iwconfig ath0 | grep Tx-Power | cut -d= -f 2 | awk '{print $1}')" > /var/max_txpower)x",
                    probe_log}},
        probe_case{"ath0_without_ssid", "ath0", {}, {switch_show, ssid0}, {probe_log}},
        probe_case{"ath1_disabled",
                   "ath1",
                   {{disabled_show, "wireless.@wifi-iface[1].disabled=1"}, {ssid1, "wireless.@wifi-iface[1].ssid=G"}},
                   {switch_show, disabled_show},
                   {probe_log}},
        probe_case{"ath1_enabled",
                   "ath1",
                   {{disabled_show, "wireless.@wifi-iface[1].disabled=0"}, {ssid1, "wireless.@wifi-iface[1].ssid=G"}},
                   {switch_show, disabled_show, ssid1},
                   {R"x(iwconfig ath1 txpower 30;sleep 1;)x"
                    R"x(echo "ath1:$(iwconfig ath1 | grep Tx-Power | cut -d= -f 2 | awk '{print $1}')" > /var/max_txpower_ath1;)x"
                    R"x(echo "ath1:$(iwconfig ath1 | grep Tx-Power | cut -d= -f 2 | awk '{print $1}')" > /var/max_txpower)x",
                    probe_log}},
        probe_case{"ath3_looked_up_at_1",
                   "ath3",
                   {{ssid1, "wireless.@wifi-iface[1].ssid=Guest"}},
                   {switch_show, disabled_show, ssid1},
                   {R"x(iwconfig ath3 txpower 30;sleep 1;)x"
                    R"x(echo "ath3:$(iwconfig ath3 | grep Tx-Power | cut -d= -f 2 | awk '{print $1}')" > /var/max_txpower_ath3;)x"
                    R"x(echo "ath3:$(iwconfig ath3 | grep Tx-Power | cut -d= -f 2 | awk '{print $1}')" > /var/max_txpower)x",
                    probe_log}},
        probe_case{"hostile_name_is_quoted",
                   "x;reboot $(id)",
                   {{ssid1, "wireless.@wifi-iface[1].ssid=Guest"}},
                   {switch_show, disabled_show, ssid1},
                   {"iwconfig 'x;reboot $(id)' txpower 30;sleep 1;"
                    "echo \"\"'x;reboot $(id)'\":$(iwconfig 'x;reboot $(id)' | grep Tx-Power | cut -d= -f 2 | "
                    "awk '{print $1}')\" > /var/max_txpower_'x;reboot $(id)';"
                    "echo \"\"'x;reboot $(id)'\":$(iwconfig 'x;reboot $(id)' | grep Tx-Power | cut -d= -f 2 | "
                    "awk '{print $1}')\" > /var/max_txpower",
                    probe_log}},
        probe_case{"name_with_slash_writes_no_file",
                   "../etc/x",
                   {{ssid1, "wireless.@wifi-iface[1].ssid=Guest"}},
                   {switch_show, disabled_show, ssid1},
                   {probe_log}}),
    [](const ::testing::TestParamInfo<probe_case>& info) { return std::string(info.param.name); });

struct command_case {
    const char* name;
    lines args;
    std::string log_line;
};

using commands = fixture::fake_table<command_case>;

TEST_P(commands, run_no_probe)
{
    start("1");
    fake::script(ssid0, {"wireless.@wifi-iface[0].ssid=Office"});
    fake::script(ssid1, {"wireless.@wifi-iface[1].ssid=Guest"});
    EXPECT_EQ(run(GetParam().args), 0);
    EXPECT_EQ(fake::popen_commands(), lines{switch_show});
    EXPECT_EQ(fake::system_commands(), lines{GetParam().log_line});
}

const std::string program_log = "echo '[07-12-2026 02:28:32.004120] Running...zelmaxtxpower' >> /var/log/zelmaxtxpower";
const std::string no_ifname_log = "echo '[07-12-2026 02:28:32.004120] Running...main_get_maxtxpower: "
                                  "no -ifname given, nothing probed' >> /var/log/zelmaxtxpower";

INSTANTIATE_TEST_SUITE_P(
    lines, commands,
    ::testing::Values(command_case{"no_arguments", {}, program_log},
                      command_case{"no_app", {"-ifname=ath0"}, program_log},
                      command_case{"other_command", {"--app=get-wifi-ssid", "-ifname=ath0"}, program_log},
                      command_case{"no_second_argument", {"--app=get-maxtxpower"}, no_ifname_log},
                      command_case{"no_ifname_option", {"--app=get-maxtxpower", "-name=ath0"}, no_ifname_log},
                      command_case{"empty_ifname", {"--app=get-maxtxpower", "-ifname="}, no_ifname_log}),
    [](const ::testing::TestParamInfo<command_case>& info) { return std::string(info.param.name); });

using ssid_lookup = fixture::fake_test;

TEST_F(ssid_lookup, reads_everything_after_the_first_ssid)
{
    fake::script(ssid0, {"wireless.@wifi-iface[0].ssid=a ssid=b=c"});
    EXPECT_EQ(wifi_iface_ssid(0), "a ssid=b=c");
    fake::script(ssid1, {"something else"});
    EXPECT_EQ(wifi_iface_ssid(1), "unknown");
    // An unreadable disabled option does not stop the lookup.
    EXPECT_EQ(fake::popen_commands(), (lines{ssid0, disabled_show, ssid1}));
}

TEST_F(ssid_lookup, only_position_1_can_be_disabled)
{
    fake::script("uci show wireless.@wifi-iface[0].disabled -q", {"wireless.@wifi-iface[0].disabled=1"});
    fake::script(ssid0, {"wireless.@wifi-iface[0].ssid=Office"});
    EXPECT_EQ(wifi_iface_ssid(0), "Office");
}

}  // namespace
