#include "vlan_mgt.h"

#include "fixture.h"
#include "handlers.h"

#include <gtest/gtest.h>

namespace {

using fixture::lines;
using fixture::stamp;
using fixture::wifi;
using vlan_mgt_test = fixture::fake_test;

struct vlan_section {
    std::string id, used, bridge, tagging, ip, netmask;  // "-" leaves the option out
};

void add_vlan(lines& store, int k, const vlan_section& v)
{
    const std::string s = "vlan.@vlan[" + std::to_string(k) + "]";
    store.push_back(s + "=vlan");
    auto option = [&](const char* name, const std::string& value) {
        if (value != "-")
            store.push_back(s + "." + name + "=" + value);
    };
    option("vlanid", v.id);
    option("vlan_used", v.used);
    option("bridge", v.bridge);
    option("tagging", v.tagging);
    option("ip", v.ip);
    option("netmask", v.netmask);
}

TEST_F(vlan_mgt_test, builds_in_use_and_off_sections_and_deletes_the_stale_one)
{
    lines store = wifi(1);
    store.push_back("vlanac.activation.enabled=1");
    store.push_back("network.vlan10=interface");
    store.push_back("network.vlan30=interface");
    add_vlan(store, 0, {"10", "on", "net0", "ether", "192.168.10.1", "255.255.255.0"});
    add_vlan(store, 1, {"20", "off", "net0", "wifi", "-", "-"});
    fake::serve_uci_lines(store);

    EXPECT_EQ(main_vlan_mgt(0, nullptr), 0);
    EXPECT_EQ(fake::system_commands(),
              (lines{
                  "uci commit network", "uci commit network",
                  "uci set network.vlan10=interface;uci set network.vlan10.ifname='eth0.10 ath0';"
                  "uci set network.vlan10.type=bridge;uci set network.vlan10.proto=static;"
                  "uci set network.vlan10.ipaddr=192.168.10.1;uci set network.vlan10.netmask=255.255.255.0;"
                  "uci commit network",
                  "uci set network.vlan20=interface;uci set network.vlan20.ifname='eth0.20 ath0.20';"
                  "uci set network.vlan20.type=bridge;uci set network.vlan20.proto=static;uci commit network",
                  "echo '" + stamp + "[vlan] Setup vlan ... id=10[ip=192.168.10.1]' >> /var/log/zelvlan",
                  "uci delete network.vlan30;uci commit network",
              }));
}

TEST_F(vlan_mgt_test, log_line_lists_every_section_in_use)
{
    lines store = {"vlanac.activation.enabled=1"};
    add_vlan(store, 0, {"10", "on", "x", "ether", "192.168.10.1", "-"});
    add_vlan(store, 1, {"20", "on", "x", "-", "-", "-"});  // no address: ip=
    add_vlan(store, 2, {"30", "-", "x", "-", "-", "-"});   // no in-use: built as off
    fake::serve_uci_lines(store);
    main_vlan_mgt(0, nullptr);
    auto batches = fake::system_commands();
    ASSERT_EQ(batches.size(), 5u);  // no Wi-Fi: the shared bridge's commit alone, then the VLANs
    EXPECT_EQ(batches[2], "uci set network.vlan20=interface;uci set network.vlan20.type=bridge;"
                          "uci set network.vlan20.proto=static;uci commit network");
    EXPECT_EQ(batches[3], "uci set network.vlan30=interface;uci set network.vlan30.type=bridge;"
                          "uci set network.vlan30.proto=static;uci commit network");
    EXPECT_EQ(batches[4],
              "echo '" + stamp + "[vlan] Setup vlan ... id=10[ip=192.168.10.1],id=20[ip=]' >> /var/log/zelvlan");
}

struct run_case {
    const char* name;
    lines store;
    std::string unstartable;  // a query that can't be started, if any
    lines batches;
};

using vlan_mgt_runs = fixture::fake_table<run_case>;

TEST_P(vlan_mgt_runs, batches)
{
    const run_case& c = GetParam();
    fake::serve_uci_lines(c.store);
    if (!c.unstartable.empty())
        fake::unstartable(c.unstartable);
    main_vlan_mgt(0, nullptr);
    EXPECT_EQ(fake::system_commands(), c.batches);
}

INSTANTIATE_TEST_SUITE_P(
    cases, vlan_mgt_runs,
    ::testing::Values(
        run_case{"no_section_in_use_writes_no_log_line",
                 {"vlanac.activation.enabled=1", "vlan.@vlan[0]=vlan", "vlan.@vlan[0].vlanid=10",
                  "vlan.@vlan[0].vlan_used=off", "vlan.@vlan[0].bridge=x"},
                 "",
                 {"uci commit network", "uci set network.vlan10=interface;uci set network.vlan10.type=bridge;"
                                        "uci set network.vlan10.proto=static;uci commit network"}},
        run_case{"an_unreadable_id_list_deletes_nothing",
                 {"vlanac.activation.enabled=1", "vlan.@vlan[0]=vlan", "vlan.@vlan[0].vlanid=10",
                  "vlan.@vlan[0].vlan_used=off", "vlan.@vlan[0].bridge=x"},
                 "uci show network -q | grep interface | grep vlan",
                 {"uci commit network", "uci set network.vlan10=interface;uci set network.vlan10.type=bridge;"
                                        "uci set network.vlan10.proto=static;uci commit network"}},
        run_case{"a_duplicate_id_is_written_twice_and_claimed_once",
                 {"vlanac.activation.enabled=1", "network.vlan10=interface", "vlan.@vlan[0]=vlan",
                  "vlan.@vlan[0].vlanid=10", "vlan.@vlan[0].vlan_used=off", "vlan.@vlan[0].bridge=x",
                  "vlan.@vlan[0].ip=10.0.0.1", "vlan.@vlan[1]=vlan", "vlan.@vlan[1].vlanid=10",
                  "vlan.@vlan[1].vlan_used=off", "vlan.@vlan[1].bridge=x", "vlan.@vlan[1].ip=10.0.0.2"},
                 "",
                 {"uci commit network",
                  "uci set network.vlan10=interface;uci set network.vlan10.type=bridge;"
                  "uci set network.vlan10.proto=static;uci set network.vlan10.ipaddr=10.0.0.1;uci commit network",
                  "uci set network.vlan10=interface;uci set network.vlan10.type=bridge;"
                  "uci set network.vlan10.proto=static;uci set network.vlan10.ipaddr=10.0.0.2;uci commit network"}}),
    [](const ::testing::TestParamInfo<run_case>& info) { return std::string(info.param.name); });

struct member_case {
    std::string tagging;
    std::string bridge;
    int n;
    std::string member_command;
};

using member_list_test = fixture::fake_table<member_case>;

TEST_P(member_list_test, by_tagging_and_bridge)
{
    const auto& c = GetParam();
    lines store = wifi(3);
    add_vlan(store, 0, {"7", "off", c.bridge, c.tagging, "-", "-"});
    fake::serve_uci_lines(store);
    std::string stale = "0,0", log_text;
    build_vlan_interfaces(c.n, stale, log_text);
    EXPECT_EQ(fake::system_commands(), lines{"uci set network.vlan7=interface;" + c.member_command +
                                             "uci set network.vlan7.type=bridge;uci set network.vlan7.proto=static;"
                                             "uci commit network"});
    EXPECT_EQ(log_text, "");
}

INSTANTIATE_TEST_SUITE_P(
    cases, member_list_test,
    ::testing::Values(
        member_case{"ether", "All Others", 3, "uci set network.vlan7.ifname='eth0.7 ath0 ath1 ath2';"},
        member_case{"wifi", "All Others", 3, "uci set network.vlan7.ifname='eth0.7 ath0.7 ath1.7 ath2.7';"},
        member_case{"ether", "All Others", 0, "uci set network.vlan7.ifname='eth0.7';"},
        member_case{"wifi", "All Others", 0, "uci set network.vlan7.ifname='eth0.7 ';"},
        member_case{"ether", "net2", 3, "uci set network.vlan7.ifname='eth0.7 ath2';"},
        member_case{"wifi", "net1", 3, "uci set network.vlan7.ifname='eth0.7 ath1.7';"},
        member_case{"ether", "Nowhere", 3, "uci set network.vlan7.ifname='eth0.7 ath0';"},
        member_case{"wifi", "Nowhere", 0, "uci set network.vlan7.ifname='eth0.7 ath0.7';"},
        // No member command without a known tagging.
        member_case{"Ether", "net1", 3, ""},
        member_case{"-", "net1", 3, ""}));

TEST_F(vlan_mgt_test, sections_that_are_passed_over_build_nothing_and_claim_nothing)
{
    lines store;
    add_vlan(store, 0, {"0", "on", "x", "-", "-", "-"});
    add_vlan(store, 1, {"-", "on", "x", "-", "-", "-"});
    add_vlan(store, 2, {"11", "yes", "x", "-", "-", "-"});
    add_vlan(store, 3, {"12", "On", "x", "-", "-", "-"});
    add_vlan(store, 4, {"13", "on", "x", "-", "-", "-"});
    add_vlan(store, 6, {"14", "on", "x", "-", "-", "-"});  // after a gap: never read
    fake::serve_uci_lines(store);
    std::string stale = "0,11,12,13,14,0", log_text;
    build_vlan_interfaces(0, stale, log_text);
    EXPECT_EQ(fake::system_commands(), lines{"uci set network.vlan13=interface;uci set network.vlan13.type=bridge;"
                                             "uci set network.vlan13.proto=static;uci commit network"});
    EXPECT_EQ(stale, "0,11,12,14,0");
    EXPECT_EQ(log_text, stamp + "[vlan] Setup vlan ... id=13[ip=]");
}

TEST_F(vlan_mgt_test, hostile_values_stay_values)
{
    lines store;
    add_vlan(store, 0, {"10", "on", "x", "-", "1.2.3.4';reboot;'", "$(reboot)"});
    fake::serve_uci_lines(store);
    std::string stale = "0,0", log_text;
    build_vlan_interfaces(0, stale, log_text);
    EXPECT_EQ(fake::system_commands(),
              lines{R"(uci set network.vlan10=interface;uci set network.vlan10.type=bridge;)"
                    R"(uci set network.vlan10.proto=static;uci set network.vlan10.ipaddr='1.2.3.4'\'';reboot;'\''';)"
                    R"(uci set network.vlan10.netmask='$(reboot)';uci commit network)"});
    EXPECT_EQ(log_text, stamp + "[vlan] Setup vlan ... id=10[ip=1.2.3.4';reboot;']");
}

struct stale_case {
    std::string stale;
    lines batches;
};

using delete_stale_test = fixture::fake_table<stale_case>;

TEST_P(delete_stale_test, deletes_what_is_left)
{
    std::string stale = GetParam().stale;
    delete_stale_vlans(stale);
    EXPECT_EQ(fake::system_commands(), GetParam().batches);
}

INSTANTIATE_TEST_SUITE_P(
    cases, delete_stale_test,
    ::testing::Values(
        stale_case{"0,0", {}},
        stale_case{"0,30,0", {"uci delete network.vlan30;uci commit network"}},
        stale_case{"0,10,20,0", {"uci delete network.vlan10;uci delete network.vlan20;uci commit network"}},
        // Lists not of the usual shape end the pass instead of looping.
        stale_case{"", {}}, stale_case{"0", {}}, stale_case{"0,,0", {}},
        stale_case{"0,5", {}}));

TEST_F(vlan_mgt_test, many_stale_ids_go_in_one_batch)
{
    // 200 ids: "uci delete network.vlan1;...;uci delete network.vlan200;uci commit network".
    std::string stale = "0", expected;
    for (int id = 1; id <= 200; ++id) {
        stale += "," + std::to_string(id);
        expected += "uci delete network.vlan" + std::to_string(id) + ";";
    }
    stale += ",0";
    delete_stale_vlans(stale);
    EXPECT_EQ(stale, "0,0");
    EXPECT_EQ(fake::system_commands(), lines{expected + "uci commit network"});
}

using switch_off_test = fixture::fake_table<std::string>;

TEST_P(switch_off_test, tears_every_vlan_interface_down)
{
    lines store = {"network.lan=interface",
                   "network.vlan10=interface",
                   "network.vlan10.ifname=eth0.10 ath0",
                   "network.vlan20=interface",
                   "network.vlansw0=interface",
                   "network.vlansw0.ifname=eth0.5 ath0",
                   "network.vlansw4all=interface"};
    if (GetParam() != "-")
        store.push_back("vlanac.activation.enabled=" + GetParam());
    add_vlan(store, 0, {"10", "on", "x", "-", "-", "-"});
    fake::serve_uci_lines(store);
    EXPECT_EQ(main_vlan_mgt(0, nullptr), -1);
    EXPECT_EQ(fake::system_commands(),
              (lines{"uci delete network.vlan10;uci delete network.vlan20;uci commit network",
                     "uci delete network.vlansw0;uci delete network.vlansw4all;uci commit network"}));
    for (const auto& cmd : fake::popen_commands())
        EXPECT_EQ(cmd.find("vlan.@vlan"), std::string::npos) << cmd;
}

INSTANTIATE_TEST_SUITE_P(cases, switch_off_test, ::testing::Values("-", "", "0", "off", "00"));

TEST_F(vlan_mgt_test, teardown_with_nothing_to_delete_runs_nothing)
{
    fake::serve_uci_lines({"network.lan=interface"});
    EXPECT_EQ(teardown_vlans(), -1);
    EXPECT_TRUE(fake::system_commands().empty());
}

TEST_F(vlan_mgt_test, teardown_keeps_the_switch_bridges_when_their_listing_cannot_start)
{
    fake::serve_uci_lines({"network.vlan10=interface", "network.vlansw0=interface"});
    fake::unstartable("uci show network | grep interface | grep vlansw");
    EXPECT_EQ(teardown_vlans(), -1);
    EXPECT_EQ(fake::system_commands(), lines{"uci delete network.vlan10;uci commit network"});
}

TEST_F(vlan_mgt_test, thirty_two_vlans_over_eight_switch_vlans_and_four_interfaces)
{
    lines store = wifi(4);
    store.push_back("vlanac.activation.enabled=1");
    for (int i = 0; i < 8; ++i) {
        const std::string s = "vlansw.@vlan[" + std::to_string(i) + "]";
        store.push_back(s + ".vlanid=" + std::to_string(200 + i));
        store.push_back(s + ".bridge=" + (i == 7 ? std::string("All Others") : "net" + std::to_string(i % 4)));
    }
    for (int k = 0; k < 32; ++k)
        add_vlan(store, k, {std::to_string(100 + k), "on", k % 5 == 0 ? "All Others" : "net" + std::to_string(k % 4),
                            k % 2 ? "wifi" : "ether", "10.0." + std::to_string(k) + ".1", "255.255.255.0"});
    fake::serve_uci_lines(store);
    EXPECT_EQ(main_vlan_mgt(0, nullptr), 0);
    auto batches = fake::system_commands();
    ASSERT_EQ(batches.size(), 4u + 1u + 32u + 1u);
    EXPECT_NE(batches[0].find("ifname='eth0.200 eth0.204 ath0'"), std::string::npos);
    EXPECT_NE(batches[3].find("ifname='eth0.203 ath3'"), std::string::npos);
    EXPECT_NE(batches[4].find("ifname='eth0.207 ath0 ath1 ath2 ath3'"), std::string::npos);
    EXPECT_NE(batches[5].find("ifname='eth0.100 ath0 ath1 ath2 ath3'"), std::string::npos);
    EXPECT_NE(batches[6].find("ifname='eth0.101 ath1.101'"), std::string::npos);
    EXPECT_NE(batches[10].find("ifname='eth0.105 ath0.105 ath1.105 ath2.105 ath3.105'"), std::string::npos);
    EXPECT_EQ(batches.back(), "echo '" + stamp +
                                  "[vlan] Setup vlan ... "
                                  "id=100[ip=10.0.0.1],id=101[ip=10.0.1.1],id=102[ip=10.0.2.1],id=103[ip=10.0.3.1],"
                                  "id=104[ip=10.0.4.1],id=105[ip=10.0.5.1],id=106[ip=10.0.6.1],id=107[ip=10.0.7.1],"
                                  "id=108[ip=10.0.8.1],id=109[ip=10.0.9.1],id=110[ip=10.0.10.1],id=111[ip=10.0.11.1],"
                                  "id=112[ip=10.0.12.1],id=113[ip=10.0.13.1],id=114[ip=10.0.14.1],id=115[ip=10.0.15.1],"
                                  "id=116[ip=10.0.16.1],id=117[ip=10.0.17.1],id=118[ip=10.0.18.1],id=119[ip=10.0.19.1],"
                                  "id=120[ip=10.0.20.1],id=121[ip=10.0.21.1],id=122[ip=10.0.22.1],id=123[ip=10.0.23.1],"
                                  "id=124[ip=10.0.24.1],id=125[ip=10.0.25.1],id=126[ip=10.0.26.1],id=127[ip=10.0.27.1],"
                                  "id=128[ip=10.0.28.1],id=129[ip=10.0.29.1],id=130[ip=10.0.30.1],id=131[ip=10.0.31.1]"
                                  "' >> /var/log/zelvlan");
}

}  // namespace
