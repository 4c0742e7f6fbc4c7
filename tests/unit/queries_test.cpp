#include "queries.h"

#include "fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>

namespace {

using fixture::lines;
using queries_test = fixture::fake_test;

const std::string all_ssids = R"(uci show wireless | grep "ssid=")";
const std::string id_listing = "uci show network -q | grep interface | grep vlan";
const std::string ssid_query_0 = R"(uci show wireless | grep "iface\[0\].ssid=")";
const std::string ssid_query_1 = R"(uci show wireless | grep "iface\[1\].ssid=")";
const std::string ssid_query_2 = R"(uci show wireless | grep "iface\[2\].ssid=")";

// A row of a query's table: what the query printed ({"-"}: it can't be
// started), the argument, and the number and the text that come back.
struct query_case {
    lines printed;
    std::string argument;
    int number;
    std::string text;
};

void script_query(const std::string& query, const lines& printed)
{
    if (printed == lines{"-"})
        fake::unstartable(query);
    else
        fake::script(query, printed);
}

TEST_F(queries_test, count_stops_at_the_first_position_without_an_ssid)
{
    fake::script(ssid_query_0, {"wireless.@wifi-iface[0].ssid=Main"});
    fake::script(ssid_query_1, {"wireless.@wifi-iface[1].ssid=Guest"});
    fake::script(R"(uci show wireless | grep "iface\[3\].ssid=")", {"wireless.@wifi-iface[3].ssid=Late"});
    int count = -7;
    EXPECT_EQ(count_wifi_ifaces(count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(fake::popen_commands(), (lines{ssid_query_0, ssid_query_1, ssid_query_2}));
}

TEST_F(queries_test, count_of_forty_interfaces_and_of_none)
{
    fake::serve_uci_lines(fixture::wifi(40));
    int count = 0;
    EXPECT_EQ(count_wifi_ifaces(count), 0);
    EXPECT_EQ(count, 40);

    fake::reset();
    count = 5;
    EXPECT_EQ(count_wifi_ifaces(count), 0);
    EXPECT_EQ(count, 0);
}

TEST_F(queries_test, count_fails_without_writing_when_a_query_cannot_start)
{
    fake::script(ssid_query_0, {"wireless.@wifi-iface[0].ssid=Main"});
    fake::unstartable(ssid_query_1);
    int count = 99;
    EXPECT_EQ(count_wifi_ifaces(count), -1);
    EXPECT_EQ(count, 99);
}

class wifi_iface_of_ssid_test : public fixture::fake_table<query_case> {};

TEST_P(wifi_iface_of_ssid_test, finds_the_first_exact_match)
{
    script_query(all_ssids, GetParam().printed);
    EXPECT_EQ(wifi_iface_of_ssid(GetParam().argument), GetParam().number);
    EXPECT_EQ(fake::popen_commands(), lines{all_ssids});
}

INSTANTIATE_TEST_SUITE_P(
    cases, wifi_iface_of_ssid_test,
    ::testing::Values(
        query_case{{"wireless.@wifi-iface[0].ssid=Main", "wireless.@wifi-iface[1].ssid=Guest"}, "Guest", 1, ""},
        query_case{{"wireless.@wifi-iface[0].ssid=Main", "wireless.@wifi-iface[1].ssid=Guest"}, "Main", 0, ""},
        query_case{{"wireless.@wifi-iface[2].ssid=Twin", "wireless.@wifi-iface[1].ssid=Twin"}, "Twin", 2, ""},
        query_case{{"wireless.@wifi-iface[0].ssid=Guest2", "wireless.@wifi-iface[1].ssid=Guest"}, "Guest", 1, ""},
        query_case{{"wireless.@wifi-iface[0].ssid=Guest"}, "Gues", -1, ""},
        query_case{{"wireless.@wifi-iface[0].ssid=Main"}, "Other", -1, ""},
        query_case{{}, "Main", -1, ""},
        query_case{{"wireless.@wifi-iface[37].ssid=Far"}, "Far", 37, ""},
        // A match without a position in brackets ends the search with -1.
        query_case{{"wireless.main.ssid=Twin", "wireless.@wifi-iface[1].ssid=Twin"}, "Twin", -1, ""},
        query_case{{"wireless.@wifi-iface[0].ssid=a=b ssid=c"}, "a=b ssid=c", 0, ""},
        query_case{{"wireless.@wifi-iface[0].ssid="}, "", 0, ""}));

TEST_F(queries_test, wifi_iface_of_ssid_when_the_query_cannot_start)
{
    fake::unstartable(all_ssids);
    EXPECT_EQ(wifi_iface_of_ssid("Main"), -1);
}

TEST_F(queries_test, section_bridge_text_and_absence)
{
    const std::string q0 = R"(uci show vlansw -q | grep "vlan\[0\].bridge=")";
    const std::string q5 = R"(uci show vlan -q | grep "vlan\[5\].bridge=")";
    fake::script(q0, {"vlansw.@vlan[0].bridge=All Others", "vlansw.@vlan[0].bridge=ignored"});
    EXPECT_EQ(vlan_section_bridge("vlansw", 0), "All Others");
    EXPECT_EQ(vlan_section_bridge("vlan", 5), "unknown");
    EXPECT_EQ(fake::popen_commands(), (lines{q0, q5}));
}

class section_bridge_test : public fixture::fake_table<query_case> {};

TEST_P(section_bridge_test, reads_the_text_after_the_first_bridge)
{
    script_query(R"(uci show vlan -q | grep "vlan\[5\].bridge=")", GetParam().printed);
    EXPECT_EQ(vlan_section_bridge("vlan", 5), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(cases, section_bridge_test,
                         ::testing::Values(query_case{{"-"}, "", 0, "unknown"},
                                           query_case{{"vlan.@vlan[5].bridge=x bridge=y"}, "", 0, "x bridge=y"},
                                           query_case{{"vlan.@vlan[5].bridge="}, "", 0, ""}));

// The number is the count of interfaces, the text the id list.
class vlan_id_list_test : public fixture::fake_table<query_case> {};

TEST_P(vlan_id_list_test, lists_the_vlan_interfaces)
{
    script_query(id_listing, GetParam().printed);
    std::string dest = "stale";
    EXPECT_EQ(vlan_id_list(dest), GetParam().number);
    EXPECT_EQ(dest, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    cases, vlan_id_list_test,
    ::testing::Values(
        query_case{{}, "", 0, "0,0"},
        query_case{{"network.vlan10=interface", "network.vlan20=interface"}, "", 2, "0,10,20,0"},
        query_case{{"network.vlan20=interface", "network.vlansw0=interface", "network.vlan10=interface"},
                   "",
                   2,
                   "0,20,10,0"},
        query_case{{"network.vlansw4all=interface"}, "", 0, "0,0"},
        // Names that are not vlan<number> are no interface of ours.
        query_case{{"network.vlanfoo=interface", "network.vlan010=interface", "network.vlan7x=interface",
                    "network.vlan30=interface"},
                   "",
                   1,
                   "0,30,0"},
        // Only section lines count, not options that mention an interface.
        query_case{{"network.vlan10.proto=interface", "network.vlan10=interface"}, "", 1, "0,10,0"},
        query_case{{"network.vlan4094=interface", "network.vlan1=interface"}, "", 2, "0,4094,1,0"}));

TEST_F(queries_test, vlan_id_list_when_the_query_cannot_start_deletes_nothing)
{
    fake::unstartable(id_listing);
    std::string dest = "0,10,0";
    EXPECT_EQ(vlan_id_list(dest), 0);
    EXPECT_EQ(dest, "0,0");
}

TEST_F(queries_test, vlan_id_list_of_many_interfaces)
{
    lines printed;
    std::string expected = "0";
    for (int id = 1; id <= 300; ++id) {
        printed.push_back("network.vlan" + std::to_string(id) + "=interface");
        expected += "," + std::to_string(id);
    }
    fake::script(id_listing, printed);
    std::string dest;
    EXPECT_EQ(vlan_id_list(dest), 300);
    EXPECT_EQ(dest, expected + ",0");
}

struct member_case {
    std::string ifname;
    lines printed;
    int result;
    int id;
};

using vlan_of_ifname_test = fixture::fake_table<member_case>;

TEST_P(vlan_of_ifname_test, finds_the_bridge_holding_the_interface_itself)
{
    const auto& c = GetParam();
    fake::script("uci show network | grep vlan | grep ifname | grep " + c.ifname, c.printed);
    int id = -5;
    EXPECT_EQ(vlan_of_ifname(c.ifname, id), c.result);
    EXPECT_EQ(id, c.result == 1 ? c.id : -5);
}

INSTANTIATE_TEST_SUITE_P(
    cases, vlan_of_ifname_test,
    ::testing::Values(
        member_case{"ath0", {"network.vlan10.ifname=eth0.10 ath0.10"}, 0, 0},
        member_case{"ath0", {"network.vlan10.ifname=eth0.10 ath0"}, 1, 10},
        member_case{"ath0", {"network.vlan10.ifname=eth0.10 ath0 ath0.20"}, 0, 0},
        member_case{"ath0", {"network.vlansw0.ifname=eth0.10 ath0", "network.vlan30.ifname=eth0.30 ath0"}, 1, 30},
        member_case{"ath2", {"network.vlan10.ifname=eth0.10 ath0 ath1 ath2"}, 1, 10},
        // ath1 is not ath10 or ath11.
        member_case{"ath1", {"network.vlan10.ifname=eth0.10 ath10", "network.vlan11.ifname=eth0.11 ath11"}, 0, 0},
        member_case{"ath1", {"network.vlan10.ifname=eth0.10 ath10", "network.vlan12.ifname=ath1 eth0.12"}, 1, 12},
        member_case{"ath0", {}, 0, 0}));

TEST_F(queries_test, vlan_of_ifname_when_the_query_cannot_start)
{
    fake::unstartable("uci show network | grep vlan | grep ifname | grep ath0");
    int id = 3;
    EXPECT_EQ(vlan_of_ifname("ath0", id), -1);
    EXPECT_EQ(id, 3);
}

// The argument is the section name before the call.
class vlansw_of_ifname_test : public fixture::fake_table<query_case> {};

TEST_P(vlansw_of_ifname_test, finds_the_section_name)
{
    script_query("uci show network | grep vlansw | grep ifname | grep ath1", GetParam().printed);
    std::string section = GetParam().argument;
    EXPECT_EQ(vlansw_of_ifname("ath1", section), GetParam().number);
    EXPECT_EQ(section, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    cases, vlansw_of_ifname_test,
    ::testing::Values(
        query_case{{"network.vlansw4all.ifname=eth0.20 ath0 ath1.5", "network.vlansw1.ifname=eth0.10 ath1"},
                   "stale",
                   1,
                   "vlansw1"},
        query_case{{"network.vlansw0.ifname=eth0.10 ath10"}, "stale", 0, "unknown"},
        query_case{{"-"}, "kept", -1, "kept"}));

TEST_F(queries_test, an_odd_interface_name_is_quoted_in_the_query)
{
    int id = 0;
    vlan_of_ifname("a;reboot", id);
    EXPECT_EQ(fake::popen_commands(), lines{"uci show network | grep vlan | grep ifname | grep 'a;reboot'"});
}

class vlan_id_value_test : public ::testing::TestWithParam<std::pair<const char*, int>> {};

TEST_P(vlan_id_value_test, reads_like_atoi_without_overflow)
{
    EXPECT_EQ(vlan_id_value(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(cases, vlan_id_value_test,
                         ::testing::Values(std::make_pair("10", 10), std::make_pair(" 7", 7),
                                           std::make_pair("12abc", 12), std::make_pair("abc", 0),
                                           std::make_pair("", 0), std::make_pair("-3", -3),
                                           std::make_pair("99999999999999999999", INT_MAX)));

TEST(vlan_values, wireless_list_joins_names)
{
    EXPECT_EQ(wireless_list(0, ""), "");
    EXPECT_EQ(wireless_list(3, ""), "ath0 ath1 ath2");
    EXPECT_EQ(wireless_list(2, ".10"), "ath0.10 ath1.10");
}

}  // namespace
