#include "handlers.h"

#include "fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using fixture::lines;

const char* const ifconfig_lan = "ifconfig br-lan | grep \"inet addr\"";

// The options come from the fixture's store: "uci get KEY -q" and the
// section bridge query answer from uci.
class refresh_lan_ip_test : public fixture::uci_test {
protected:
    lines run()
    {
        fixture::run_main(main_refresh_lan_ip, {"zelvlan", "--app=refresh-lan-ip"});
        return fake::system_commands();
    }

    // A stored value of nullptr is left out.
    void static_lan(const char* ip, const char* mask, const char* stored_ip, const char* stored_mask)
    {
        uci["network.lan.proto"] = "static";
        uci["network.lan.ipaddr"] = ip;
        uci["network.lan.netmask"] = mask;
        if (stored_ip)
            uci["vlan.cfg029c96.ip"] = stored_ip;
        if (stored_mask)
            uci["vlan.cfg029c96.netmask"] = stored_mask;
    }

    void vlan_section(int c, const char* id, const char* proto, const char* ip, const char* stored_ip,
                      const char* mask = "255.255.255.0", const char* stored_mask = "255.255.255.0")
    {
        const std::string s = "vlan.@vlan[" + std::to_string(c) + "]";
        uci[s + ".bridge"] = "ssid" + std::to_string(c);
        if (id)
            uci[s + ".vlanid"] = id;
        uci[s + ".ip"] = stored_ip;
        uci[s + ".netmask"] = stored_mask;
        const std::string i = std::string("network.vlan") + (id ? id : "");
        uci[i + ".proto"] = proto;
        uci[i + ".ipaddr"] = ip;
        uci[i + ".netmask"] = mask;
    }
};

TEST_F(refresh_lan_ip_test, documented_vlan_example)
{
    vlan_section(0, "0", "static", "1.1.1.1", "2.2.2.2");
    vlan_section(1, "20", "dhcp", "1.1.1.1", "2.2.2.2");
    vlan_section(2, "10", "static", "192.168.10.1", "192.168.10.254");
    EXPECT_EQ(run(), lines{"uci set vlan.@vlan[2].ip=192.168.10.1;uci commit vlan"});
}

struct static_case {
    const char* name;
    const char *ip, *mask, *stored_ip, *stored_mask;
    lines batches;
};

class static_lan_test : public refresh_lan_ip_test, public ::testing::WithParamInterface<static_case> {};

TEST_P(static_lan_test, copies_what_differs)
{
    const static_case& c = GetParam();
    static_lan(c.ip, c.mask, c.stored_ip, c.stored_mask);
    EXPECT_EQ(run(), c.batches);
}

INSTANTIATE_TEST_SUITE_P(
    table, static_lan_test,
    ::testing::Values(
        static_case{"same_values_write_nothing", "192.168.1.1", "255.255.255.0", "192.168.1.1", "255.255.255.0", {}},
        static_case{"both_differ",
                    "192.168.1.1",
                    "255.255.0.0",
                    "192.168.1.2",
                    "255.255.255.0",
                    {"uci set vlan.cfg029c96.ip=192.168.1.1;uci set vlan.cfg029c96.netmask=255.255.0.0;uci commit vlan"}},
        static_case{"netmask_only_batch_has_no_leading_semicolon",
                    "192.168.1.1",
                    "255.255.0.0",
                    "192.168.1.1",
                    "255.255.255.0",
                    {"uci set vlan.cfg029c96.netmask=255.255.0.0;uci commit vlan"}},
        static_case{"never_fills_an_absent_stored_value", "192.168.1.1", "255.255.0.0", nullptr, nullptr, {}},
        static_case{"hostile_values_are_quoted",
                    "1.2.3.4;reboot",
                    "$(reboot)",
                    "1.2.3.4",
                    "255.255.255.0",
                    {"uci set vlan.cfg029c96.ip='1.2.3.4;reboot';uci set vlan.cfg029c96.netmask='$(reboot)';"
                     "uci commit vlan"}}),
    [](const ::testing::TestParamInfo<static_case>& info) { return std::string(info.param.name); });

TEST_F(refresh_lan_ip_test, dhcp_lan_writes_the_live_values_even_when_equal)
{
    uci["network.lan.proto"] = "dhcp";
    uci["vlan.cfg029c96.ip"] = "192.168.1.100";
    fake::script(ifconfig_lan, {"inet addr:192.168.1.100  Bcast:192.168.1.255  Mask:255.255.255.0"});
    EXPECT_EQ(run(), lines{"uci set vlan.cfg029c96.ip=192.168.1.100;uci set "
                                              "vlan.cfg029c96.netmask=255.255.255.0;uci commit vlan"});
    EXPECT_TRUE(fake::sleeps().empty());
}

TEST_F(refresh_lan_ip_test, dhcp_lan_waits_for_its_lease)
{
    uci["network.lan.proto"] = "dhcp";
    for (int k = 0; k < 4; ++k)
        fake::script(ifconfig_lan, {});
    fake::script(ifconfig_lan, {"inet addr:10.1.2.3  Mask:255.0.0.0"});
    EXPECT_EQ(run(), lines{
                         "uci set vlan.cfg029c96.ip=10.1.2.3;uci set vlan.cfg029c96.netmask=255.0.0.0;uci commit vlan"});
    EXPECT_EQ(fake::sleeps(), std::vector<long long>(4, 1000));
}

TEST_F(refresh_lan_ip_test, dhcp_lan_without_address_gives_up_after_seven_tries)
{
    uci["network.lan.proto"] = "dhcp";
    for (int k = 0; k < 7; ++k)
        fake::script(ifconfig_lan, {});
    // The netmask is asked for once more, and found.
    fake::script(ifconfig_lan, {"inet addr:  Mask:255.255.255.0"});
    EXPECT_EQ(run(), lines{"uci set vlan.cfg029c96.netmask=255.255.255.0;uci commit vlan"});
    EXPECT_EQ(fake::sleeps(), std::vector<long long>(6, 1000));
    EXPECT_EQ(fake::popen_commands().size(), 1u + 8u + 1u);  // proto, 8 probes, bridge of section 0
}

TEST_F(refresh_lan_ip_test, other_or_missing_protocol_changes_nothing_and_vlans_still_run)
{
    for (const char* proto : std::vector<const char*>{"pppoe", nullptr}) {
        SetUp();
        uci.clear();
        if (proto)
            uci["network.lan.proto"] = proto;
        uci["network.lan.ipaddr"] = "1.1.1.1";
        uci["vlan.cfg029c96.ip"] = "2.2.2.2";
        vlan_section(0, "10", "static", "10.0.0.1", "10.0.0.2");
        EXPECT_EQ(run(), lines{"uci set vlan.@vlan[0].ip=10.0.0.1;uci commit vlan"});
    }
}

TEST_F(refresh_lan_ip_test, vlan_id_text_names_the_interface_as_written)
{
    vlan_section(0, "010", "static", "10.0.0.1", "10.0.0.2");
    uci["network.vlan10.proto"] = "static";
    uci["network.vlan10.ipaddr"] = "9.9.9.9";
    EXPECT_EQ(run(), lines{"uci set vlan.@vlan[0].ip=10.0.0.1;uci commit vlan"});
}

TEST_F(refresh_lan_ip_test, sections_passed_over_and_walk_end)
{
    vlan_section(0, "0", "static", "1.1.1.1", "1.1.1.2");
    vlan_section(1, nullptr, "static", "1.1.1.1", "1.1.1.2");
    vlan_section(2, "abc", "static", "1.1.1.1", "1.1.1.2");
    vlan_section(3, "30", "static", "3.3.3.1", "3.3.3.2", "255.0.0.0", "255.255.0.0");
    vlan_section(5, "50", "static", "5.5.5.1", "5.5.5.2");  // after the missing index 4
    EXPECT_EQ(run(), lines{
                         "uci set vlan.@vlan[3].ip=3.3.3.1;uci set vlan.@vlan[3].netmask=255.0.0.0;uci commit vlan"});
}

TEST_F(refresh_lan_ip_test, each_changed_section_is_its_own_run)
{
    vlan_section(0, "10", "static", "10.0.0.1", "10.0.0.2");
    vlan_section(1, "20", "static", "20.0.0.1", "20.0.0.1", "255.0.0.0");
    vlan_section(2, "40", "static", "40.0.0.1", "40.0.0.1");
    EXPECT_EQ(run(), (lines{"uci set vlan.@vlan[0].ip=10.0.0.1;uci commit vlan",
                                               "uci set vlan.@vlan[1].netmask=255.0.0.0;uci commit vlan"}));
}

TEST_F(refresh_lan_ip_test, lan_step_runs_before_the_vlan_step)
{
    static_lan("192.168.1.1", "255.255.255.0", "192.168.1.9", "255.255.255.0");
    vlan_section(0, "10", "static", "10.0.0.1", "10.0.0.2");
    EXPECT_EQ(run(), (lines{"uci set vlan.cfg029c96.ip=192.168.1.1;uci commit vlan",
                                               "uci set vlan.@vlan[0].ip=10.0.0.1;uci commit vlan"}));
}

}  // namespace
