#include "handlers.h"

#include "fake_system.h"
#include "fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

const std::string stamp = "[01-01-1970 00:00:00.000000] ";

std::string echo(const std::string& text)
{
    return "echo '" + stamp + text + "' >> /var/log/zelvlan";
}

std::string hostapd(int a, const std::string& bridge)
{
    const std::string n = std::to_string(a);
    return "sed -i \"s/bridge=br-lan/bridge=br-" + bridge + "/g\" /var/run/hostapd-ath" + n +
           ".conf;kill `cat /var/run/wifi-ath" + n + ".pid`;hostapd -P /var/run/wifi-ath" + n +
           ".pid -B /var/run/hostapd-ath" + n + ".conf";
}

std::string wpa_supplicant(int a, const std::string& bridge)
{
    const std::string n = std::to_string(a);
    return "kill `cat /var/run/wifi-ath" + n + ".pid`;wpa_supplicant -b br-" + bridge + " -B -P /var/run/wifi-ath" +
           n + ".pid -D athr -i ath" + n + " -c /var/run/wpa_supplicant-ath" + n + ".conf";
}

std::string vlan_query(int a)
{
    return "uci show network | grep vlan | grep ifname | grep ath" + std::to_string(a);
}

std::string vlansw_query(int a)
{
    return "uci show network | grep vlansw | grep ifname | grep ath" + std::to_string(a);
}

class vlan_wpa_test : public ::testing::Test {
protected:
    std::map<std::string, std::string> uci;

    void SetUp() override
    {
        fake::reset();
        fake::serve_uci_map(uci);
    }

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

    void in_vlan(int a, int id)
    {
        fake::script(vlan_query(a), {"network.vlan" + std::to_string(id) + ".ifname=eth0." + std::to_string(id) +
                                     " ath" + std::to_string(a)});
    }

    void in_switch(int a, const std::string& section)
    {
        fake::script(vlansw_query(a), {"network." + section + ".ifname=eth0.30 ath" + std::to_string(a)});
    }

    std::vector<std::string> run()
    {
        char name[] = "zelvlan";
        char app[] = "--app=vlan-wpa";
        char* argv[] = {name, app, nullptr};
        EXPECT_EQ(main_vlan_wpa(2, argv), 0);
        return fake::system_commands();
    }
};

TEST_F(vlan_wpa_test, access_point_on_a_vlan_bridge)
{
    iface(0, "psk2", "ap");
    in_vlan(0, 10);
    EXPECT_EQ(run(), (std::vector<std::string>{echo("[vlan_wpa] AP mode ath0 for VLAN 10 with encryption[psk2]"),
                                               hostapd(0, "vlan10")}));
}

TEST_F(vlan_wpa_test, station_on_a_vlan_bridge)
{
    iface(0, "none", "ap");
    iface(1, "psk-mixed", "sta");
    in_vlan(1, 20);
    EXPECT_EQ(run(), (std::vector<std::string>{echo("[vlan_wpa] STA mode ath1 for VLAN 20 with encryption[psk-mixed]"),
                                               wpa_supplicant(1, "vlan20")}));
}

TEST_F(vlan_wpa_test, access_point_on_a_switch_vlan_bridge)
{
    iface(0, "psk2", "ap");
    in_switch(0, "vlansw4all");
    EXPECT_EQ(run(), (std::vector<std::string>{
                         echo("[vlan_wpa] AP mode, Ethernet trunk vlansw4all at ath0 with encryption[psk2]"),
                         hostapd(0, "vlansw4all")}));
}

TEST_F(vlan_wpa_test, both_bridges_restart_twice_vlan_first)
{
    iface(0, "psk2", "ap");
    iface(1, "wpa2", "sta");
    in_vlan(0, 10);
    in_switch(0, "vlansw0");
    in_vlan(1, 20);
    in_switch(1, "vlansw1");
    EXPECT_EQ(run(), (std::vector<std::string>{
                         echo("[vlan_wpa] AP mode ath0 for VLAN 10 with encryption[psk2]"), hostapd(0, "vlan10"),
                         echo("[vlan_wpa] AP mode, Ethernet trunk vlansw0 at ath0 with encryption[psk2]"),
                         hostapd(0, "vlansw0"),
                         echo("[vlan_wpa] STA mode ath1 for VLAN 20 with encryption[wpa2]"), wpa_supplicant(1, "vlan20"),
                         echo("[vlan_wpa] STA mode, Ethernet trunk vlansw1 at ath1 with encryption[wpa2]"),
                         wpa_supplicant(1, "vlansw1")}));
}

TEST_F(vlan_wpa_test, mode_with_ap_and_sta_takes_the_access_point_steps)
{
    iface(0, "psk2", "ap-sta");
    in_vlan(0, 10);
    auto commands = run();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[1], hostapd(0, "vlan10"));
}

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
    fake::script(vlan_query(0), {"network.vlan10.ifname=eth0.10 ath0.10"});
    fake::unstartable(vlan_query(1));
    fake::unstartable(vlansw_query(1));
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
    EXPECT_EQ(run(), (std::vector<std::string>{echo("[vlan_wpa] AP mode ath36 for VLAN 10 with encryption[psk2]"),
                                               hostapd(36, "vlan10")}));
}

TEST_F(vlan_wpa_test, walk_ends_after_encrypted_index_32)
{
    for (int a = 0; a <= 40; ++a) {
        iface(a, "psk2", "sta");
        in_vlan(a, 100 + a);
    }
    auto commands = run();
    ASSERT_EQ(commands.size(), 2u * 33u);
    EXPECT_EQ(commands.back(), wpa_supplicant(32, "vlan132"));
    auto popens = fake::popen_commands();
    EXPECT_EQ(std::count(popens.begin(), popens.end(), "uci get wireless.@wifi-iface[33].encryption -q"), 0);
}

TEST_F(vlan_wpa_test, walk_ends_at_the_first_unreadable_encryption)
{
    iface(0, "psk2", "ap");
    iface(2, "psk2", "ap");
    in_vlan(2, 10);
    EXPECT_TRUE(run().empty());
}

TEST_F(vlan_wpa_test, hostile_encryption_text_is_escaped_in_the_log)
{
    iface(0, "psk2'; reboot; '", "ap");
    in_vlan(0, 10);
    auto commands = run();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], echo("[vlan_wpa] AP mode ath0 for VLAN 10 with encryption[psk2'\\''; reboot; '\\'']"));
}

TEST_F(vlan_wpa_test, switch_section_names_other_than_plain_ones_are_refused)
{
    iface(0, "psk2", "ap");
    iface(1, "psk2", "sta");
    fake::script(vlansw_query(0), {"network.x/g;s/a/b;reboot;#.ifname=ath0"});
    fake::script(vlansw_query(1), {"network.$(reboot).ifname=ath1"});
    EXPECT_TRUE(run().empty());
}

}  // namespace
