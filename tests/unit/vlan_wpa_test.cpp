#include "handlers.h"

#include "fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

using fixture::lines;
using fixture::stamp;

class vlan_wpa_test : public fixture::uci_test {
protected:
    // Wi-Fi interface a with its run files in place.
    void iface(int a, const char* encryption, const char* mode)
    {
        const std::string s = "wireless.@wifi-iface[" + std::to_string(a) + "]";
        uci[s + ".encryption"] = encryption;
        if (mode)
            uci[s + ".mode"] = mode;
        const std::string n = std::to_string(a);
        fake::add_file("/var/run/wifi-ath" + n + ".pid");
        fake::add_file("/var/run/hostapd-ath" + n + ".conf");
        fake::add_file("/var/run/wpa_supplicant-ath" + n + ".conf");
    }

    // athA is a member of the bridge of VLAN id.
    void in_vlan(int a, int id)
    {
        const std::string ath = "ath" + std::to_string(a), vlan = std::to_string(id);
        fake::script("uci show network | grep vlan | grep ifname | grep " + ath,
                     {"network.vlan" + vlan + ".ifname=eth0." + vlan + " " + ath});
    }

    // athA is a member of the switch VLAN bridge of this section.
    void in_switch(int a, const std::string& section)
    {
        const std::string ath = "ath" + std::to_string(a);
        fake::script("uci show network | grep vlansw | grep ifname | grep " + ath,
                     {"network." + section + ".ifname=eth0.30 " + ath});
    }

    lines run()
    {
        EXPECT_EQ(fixture::run_main(main_vlan_wpa, {"zelvlan", "--app=vlan-wpa"}), 0);
        return fake::system_commands();
    }
};

// ath0, an access point with psk2, restarted on the bridge of VLAN 10.
const std::string ap_ath0_vlan10 =
    "echo '[01-01-1970 00:00:00.000000] [vlan_wpa] AP mode ath0 for VLAN 10 with encryption[psk2]' >> /var/log/zelvlan";
const std::string hostapd_ath0_vlan10 =
    R"(sed -i "s/bridge=br-lan/bridge=br-vlan10/g" /var/run/hostapd-ath0.conf;)"
    R"(kill `cat /var/run/wifi-ath0.pid`;hostapd -P /var/run/wifi-ath0.pid -B /var/run/hostapd-ath0.conf)";

struct iface_row {
    int a;
    const char* encryption;
    const char* mode;
};

struct bridge_case {
    const char* name;
    std::vector<iface_row> ifaces;
    std::vector<std::pair<int, int>> vlans;             // interface, VLAN id
    std::vector<std::pair<int, std::string>> switches;  // interface, switch section
    lines commands;
};

class vlan_wpa_restarts : public vlan_wpa_test, public ::testing::WithParamInterface<bridge_case> {};

TEST_P(vlan_wpa_restarts, log_line_then_the_restart)
{
    const bridge_case& c = GetParam();
    for (const auto& i : c.ifaces)
        iface(i.a, i.encryption, i.mode);
    for (const auto& v : c.vlans)
        in_vlan(v.first, v.second);
    for (const auto& s : c.switches)
        in_switch(s.first, s.second);
    EXPECT_EQ(run(), c.commands);
}

INSTANTIATE_TEST_SUITE_P(
    table, vlan_wpa_restarts,
    ::testing::Values(
        bridge_case{"access_point_on_a_vlan_bridge",
                    {{0, "psk2", "ap"}},
                    {{0, 10}},
                    {},
                    {ap_ath0_vlan10, hostapd_ath0_vlan10}},
        bridge_case{"station_on_a_vlan_bridge",
                    {{0, "none", "ap"}, {1, "psk-mixed", "sta"}},
                    {{1, 20}},
                    {},
                    {"echo '" + stamp +
                         "[vlan_wpa] STA mode ath1 for VLAN 20 with encryption[psk-mixed]' >> /var/log/zelvlan",
                     "kill `cat /var/run/wifi-ath1.pid`;wpa_supplicant -b br-vlan20 -B -P /var/run/wifi-ath1.pid "
                     "-D athr -i ath1 -c /var/run/wpa_supplicant-ath1.conf"}},
        bridge_case{"access_point_on_a_switch_vlan_bridge",
                    {{0, "psk2", "ap"}},
                    {},
                    {{0, "vlansw4all"}},
                    {"echo '" + stamp +
                         "[vlan_wpa] AP mode, Ethernet trunk vlansw4all at ath0 with encryption[psk2]' >> "
                         "/var/log/zelvlan",
                     R"(sed -i "s/bridge=br-lan/bridge=br-vlansw4all/g" /var/run/hostapd-ath0.conf;)"
                     R"(kill `cat /var/run/wifi-ath0.pid`;hostapd -P /var/run/wifi-ath0.pid -B /var/run/hostapd-ath0.conf)"}},
        bridge_case{"both_bridges_restart_twice_vlan_first",
                    {{0, "psk2", "ap"}, {1, "wpa2", "sta"}},
                    {{0, 10}, {1, 20}},
                    {{0, "vlansw0"}, {1, "vlansw1"}},
                    {ap_ath0_vlan10, hostapd_ath0_vlan10,
                     "echo '" + stamp +
                         "[vlan_wpa] AP mode, Ethernet trunk vlansw0 at ath0 with encryption[psk2]' >> /var/log/zelvlan",
                     R"(sed -i "s/bridge=br-lan/bridge=br-vlansw0/g" /var/run/hostapd-ath0.conf;)"
                     R"(kill `cat /var/run/wifi-ath0.pid`;hostapd -P /var/run/wifi-ath0.pid -B /var/run/hostapd-ath0.conf)",
                     "echo '" + stamp + "[vlan_wpa] STA mode ath1 for VLAN 20 with encryption[wpa2]' >> /var/log/zelvlan",
                     "kill `cat /var/run/wifi-ath1.pid`;wpa_supplicant -b br-vlan20 -B -P /var/run/wifi-ath1.pid "
                     "-D athr -i ath1 -c /var/run/wpa_supplicant-ath1.conf",
                     "echo '" + stamp +
                         "[vlan_wpa] STA mode, Ethernet trunk vlansw1 at ath1 with encryption[wpa2]' >> /var/log/zelvlan",
                     "kill `cat /var/run/wifi-ath1.pid`;wpa_supplicant -b br-vlansw1 -B -P /var/run/wifi-ath1.pid "
                     "-D athr -i ath1 -c /var/run/wpa_supplicant-ath1.conf"}},
        bridge_case{"mode_with_ap_and_sta_takes_the_access_point_steps",
                    {{0, "psk2", "ap-sta"}},
                    {{0, 10}},
                    {},
                    {ap_ath0_vlan10, hostapd_ath0_vlan10}},
        // The walk ends at the first unreadable encryption: ath2 is never reached.
        bridge_case{"walk_ends_at_the_first_unreadable_encryption",
                    {{0, "psk2", "ap"}, {2, "psk2", "ap"}},
                    {{2, 10}},
                    {},
                    {}},
        bridge_case{"hostile_encryption_text_is_escaped_in_the_log",
                    {{0, "psk2'; reboot; '", "ap"}},
                    {{0, 10}},
                    {},
                    {"echo '" + stamp +
                         R"([vlan_wpa] AP mode ath0 for VLAN 10 with encryption[psk2'\''; reboot; '\'']' >> /var/log/zelvlan)",
                     hostapd_ath0_vlan10}}),
    [](const ::testing::TestParamInfo<bridge_case>& info) { return std::string(info.param.name); });

struct skip_case {
    const char* mode;
    bool pid_file;
    bool conf_file;
};

class vlan_wpa_skips : public vlan_wpa_test, public ::testing::WithParamInterface<skip_case> {};

TEST_P(vlan_wpa_skips, interface_is_passed_over_silently)
{
    const skip_case& c = GetParam();
    uci["wireless.@wifi-iface[0].encryption"] = "psk2";
    if (c.mode)
        uci["wireless.@wifi-iface[0].mode"] = c.mode;
    if (c.pid_file)
        fake::add_file("/var/run/wifi-ath0.pid");
    if (c.conf_file) {
        fake::add_file("/var/run/hostapd-ath0.conf");
        fake::add_file("/var/run/wpa_supplicant-ath0.conf");
    }
    in_vlan(0, 10);
    in_switch(0, "vlansw0");
    EXPECT_TRUE(run().empty());
}

INSTANTIATE_TEST_SUITE_P(table, vlan_wpa_skips,
                         ::testing::Values(skip_case{nullptr, true, true}, skip_case{"wds", true, true},
                                           skip_case{"ap", false, true}, skip_case{"ap", true, false},
                                           skip_case{"sta", false, true}, skip_case{"sta", true, false}));

TEST_F(vlan_wpa_test, interface_in_no_bridge_or_failed_query_does_nothing)
{
    iface(0, "psk2", "ap");
    iface(1, "psk2", "ap");
    fake::script("uci show network | grep vlan | grep ifname | grep ath0", {"network.vlan10.ifname=eth0.10 ath0.10"});
    fake::unstartable("uci show network | grep vlan | grep ifname | grep ath1");
    fake::unstartable("uci show network | grep vlansw | grep ifname | grep ath1");
    EXPECT_TRUE(run().empty());
}

TEST_F(vlan_wpa_test, unencrypted_interfaces_are_passed_without_the_index_test)
{
    for (int a = 0; a < 36; ++a)
        iface(a, "none", "ap");
    iface(36, "psk2", "ap");
    iface(37, "psk2", "ap");
    in_vlan(36, 10);
    in_vlan(37, 10);
    EXPECT_EQ(run(),
              (lines{"echo '" + stamp + "[vlan_wpa] AP mode ath36 for VLAN 10 with encryption[psk2]' >> /var/log/zelvlan",
                     R"(sed -i "s/bridge=br-lan/bridge=br-vlan10/g" /var/run/hostapd-ath36.conf;)"
                     R"(kill `cat /var/run/wifi-ath36.pid`;)"
                     R"(hostapd -P /var/run/wifi-ath36.pid -B /var/run/hostapd-ath36.conf)"}));
}

TEST_F(vlan_wpa_test, walk_ends_after_encrypted_index_32)
{
    for (int a = 0; a <= 40; ++a) {
        iface(a, "psk2", "sta");
        in_vlan(a, 100 + a);
    }
    auto commands = run();
    ASSERT_EQ(commands.size(), 2u * 33u);
    EXPECT_EQ(commands.back(), "kill `cat /var/run/wifi-ath32.pid`;wpa_supplicant -b br-vlan132 -B "
                               "-P /var/run/wifi-ath32.pid -D athr -i ath32 -c /var/run/wpa_supplicant-ath32.conf");
    auto popens = fake::popen_commands();
    EXPECT_EQ(std::count(popens.begin(), popens.end(), "uci get wireless.@wifi-iface[33].encryption -q"), 0);
}

TEST_F(vlan_wpa_test, switch_section_names_other_than_plain_ones_are_refused)
{
    iface(0, "psk2", "ap");
    iface(1, "psk2", "sta");
    fake::script("uci show network | grep vlansw | grep ifname | grep ath0", {"network.x/g;s/a/b;reboot;#.ifname=ath0"});
    fake::script("uci show network | grep vlansw | grep ifname | grep ath1", {"network.$(reboot).ifname=ath1"});
    EXPECT_TRUE(run().empty());
}

}  // namespace
