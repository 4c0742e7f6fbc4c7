#include "vlan_mgt.h"

#include "fake_system.h"
#include "fake_uci_store.h"
#include "handlers.h"

#include <gtest/gtest.h>

namespace {

struct vlan_section {
    std::string id, used, bridge, tagging, ip, netmask;  // "-" leaves the option out
};

void add_vlan(std::vector<std::string>& store, int k, const vlan_section& v)
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

std::vector<std::string> wifi(int n)
{
    std::vector<std::string> lines;
    for (int e = 0; e < n; ++e)
        lines.push_back("wireless.@wifi-iface[" + std::to_string(e) + "].ssid=net" + std::to_string(e));
    return lines;
}

// The batch of one VLAN interface, member command included when given.
std::string vlan_batch(int id, const std::string& members, const std::string& tail = "")
{
    const std::string v = "network.vlan" + std::to_string(id);
    std::string b = "uci set " + v + "=interface";
    if (!members.empty())
        b += ";uci set " + v + ".ifname='" + members + "'";
    return b + ";uci set " + v + ".type=bridge;uci set " + v + ".proto=static" + tail + ";uci commit network";
}

const std::string stamp_prefix = "echo '[01-01-1970 00:00:00.000000] [vlan] Setup vlan ... ";

class vlan_mgt_test : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
};

TEST_F(vlan_mgt_test, builds_in_use_and_off_sections_and_deletes_the_stale_one)
{
    std::vector<std::string> store = wifi(1);
    store.push_back("vlanac.activation.enabled=1");
    store.push_back("network.vlan10=interface");
    store.push_back("network.vlan30=interface");
    add_vlan(store, 0, {"10", "on", "net0", "ether", "192.168.10.1", "255.255.255.0"});
    add_vlan(store, 1, {"20", "off", "net0", "wifi", "-", "-"});
    fake::serve_uci_lines(store);

    EXPECT_EQ(main_vlan_mgt(0, nullptr), 0);
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{
                  "uci commit network", "uci commit network",
                  vlan_batch(10, "eth0.10 ath0",
                             ";uci set network.vlan10.ipaddr=192.168.10.1;uci set network.vlan10.netmask=255.255.255.0"),
                  vlan_batch(20, "eth0.20 ath0.20"),
                  stamp_prefix + "id=10[ip=192.168.10.1]' >> /var/log/zelvlan",
                  "uci delete network.vlan30;uci commit network",
              }));
}

TEST_F(vlan_mgt_test, log_line_lists_every_section_in_use)
{
    std::vector<std::string> store = {"vlanac.activation.enabled=1"};
    add_vlan(store, 0, {"10", "on", "x", "ether", "192.168.10.1", "-"});
    add_vlan(store, 1, {"20", "on", "x", "-", "-", "-"});  // no address: ip=
    add_vlan(store, 2, {"30", "-", "x", "-", "-", "-"});   // no in-use: built as off
    fake::serve_uci_lines(store);
    main_vlan_mgt(0, nullptr);
    auto batches = fake::system_commands();
    ASSERT_EQ(batches.size(), 5u);  // no Wi-Fi: the shared bridge's commit alone, then the VLANs
    EXPECT_EQ(batches[2], vlan_batch(20, ""));
    EXPECT_EQ(batches[3], vlan_batch(30, ""));
    EXPECT_EQ(batches[4], stamp_prefix + "id=10[ip=192.168.10.1],id=20[ip=]' >> /var/log/zelvlan");
}

TEST_F(vlan_mgt_test, no_section_in_use_writes_no_log_line)
{
    std::vector<std::string> store = {"vlanac.activation.enabled=1"};
    add_vlan(store, 0, {"10", "off", "x", "-", "-", "-"});
    fake::serve_uci_lines(store);
    main_vlan_mgt(0, nullptr);
    EXPECT_EQ(fake::system_commands(), (std::vector<std::string>{"uci commit network", vlan_batch(10, "")}));
}

struct member_case {
    std::string tagging;
    std::string bridge;
    int n;
    std::string members;  // empty: no member command
};

class member_list_test : public ::testing::TestWithParam<member_case> {
protected:
    void SetUp() override { fake::reset(); }
};

TEST_P(member_list_test, by_tagging_and_bridge)
{
    const auto& c = GetParam();
    std::vector<std::string> store = wifi(3);
    add_vlan(store, 0, {"7", "off", c.bridge, c.tagging, "-", "-"});
    fake::serve_uci_lines(store);
    std::string stale = "0,0", log_text;
    build_vlan_interfaces(c.n, stale, log_text);
    EXPECT_EQ(fake::system_commands(), std::vector<std::string>{vlan_batch(7, c.members)});
    EXPECT_EQ(log_text, "");
}

INSTANTIATE_TEST_SUITE_P(
    cases, member_list_test,
    ::testing::Values(member_case{"ether", "All Others", 3, "eth0.7 ath0 ath1 ath2"},
                      member_case{"wifi", "All Others", 3, "eth0.7 ath0.7 ath1.7 ath2.7"},
                      member_case{"ether", "All Others", 0, "eth0.7"},
                      member_case{"wifi", "All Others", 0, "eth0.7 "},
                      member_case{"ether", "net2", 3, "eth0.7 ath2"},
                      member_case{"wifi", "net1", 3, "eth0.7 ath1.7"},
                      member_case{"ether", "Nowhere", 3, "eth0.7 ath0"},
                      member_case{"wifi", "Nowhere", 0, "eth0.7 ath0.7"},
                      member_case{"Ether", "net1", 3, ""},
                      member_case{"-", "net1", 3, ""}));

TEST_F(vlan_mgt_test, sections_that_are_passed_over_build_nothing_and_claim_nothing)
{
    std::vector<std::string> store;
    add_vlan(store, 0, {"0", "on", "x", "-", "-", "-"});
    add_vlan(store, 1, {"-", "on", "x", "-", "-", "-"});
    add_vlan(store, 2, {"11", "yes", "x", "-", "-", "-"});
    add_vlan(store, 3, {"12", "On", "x", "-", "-", "-"});
    add_vlan(store, 4, {"13", "on", "x", "-", "-", "-"});
    add_vlan(store, 6, {"14", "on", "x", "-", "-", "-"});  // after a gap: never read
    fake::serve_uci_lines(store);
    std::string stale = "0,11,12,13,14,0", log_text;
    build_vlan_interfaces(0, stale, log_text);
    EXPECT_EQ(fake::system_commands(), std::vector<std::string>{vlan_batch(13, "")});
    EXPECT_EQ(stale, "0,11,12,14,0");
    EXPECT_EQ(log_text, "[01-01-1970 00:00:00.000000] [vlan] Setup vlan ... id=13[ip=]");
}

TEST_F(vlan_mgt_test, a_duplicate_id_is_written_twice_and_claimed_once)
{
    std::vector<std::string> store = {"vlanac.activation.enabled=1", "network.vlan10=interface"};
    add_vlan(store, 0, {"10", "off", "x", "-", "10.0.0.1", "-"});
    add_vlan(store, 1, {"10", "off", "x", "-", "10.0.0.2", "-"});
    fake::serve_uci_lines(store);
    main_vlan_mgt(0, nullptr);
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{"uci commit network", vlan_batch(10, "", ";uci set network.vlan10.ipaddr=10.0.0.1"),
                                        vlan_batch(10, "", ";uci set network.vlan10.ipaddr=10.0.0.2")}));
}

TEST_F(vlan_mgt_test, hostile_values_stay_values)
{
    std::vector<std::string> store;
    add_vlan(store, 0, {"10", "on", "x", "-", "1.2.3.4';reboot;'", "$(reboot)"});
    fake::serve_uci_lines(store);
    std::string stale = "0,0", log_text;
    build_vlan_interfaces(0, stale, log_text);
    EXPECT_EQ(fake::system_commands(),
              std::vector<std::string>{vlan_batch(10, "",
                                                  ";uci set network.vlan10.ipaddr='1.2.3.4'\\'';reboot;'\\'''"
                                                  ";uci set network.vlan10.netmask='$(reboot)'")});
    EXPECT_EQ(log_text, "[01-01-1970 00:00:00.000000] [vlan] Setup vlan ... id=10[ip=1.2.3.4';reboot;']");
}

struct stale_case {
    std::string stale;
    std::vector<std::string> batches;
};

class delete_stale_test : public ::testing::TestWithParam<stale_case> {
protected:
    void SetUp() override { fake::reset(); }
};

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
    std::string stale = "0", expected;
    for (int id = 1; id <= 200; ++id) {
        stale += "," + std::to_string(id);
        expected += (id > 1 ? ";" : "") + std::string("uci delete network.vlan") + std::to_string(id);
    }
    stale += ",0";
    delete_stale_vlans(stale);
    EXPECT_EQ(stale, "0,0");
    EXPECT_EQ(fake::system_commands(), std::vector<std::string>{expected + ";uci commit network"});
}

class switch_off_test : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { fake::reset(); }
};

TEST_P(switch_off_test, tears_every_vlan_interface_down)
{
    std::vector<std::string> store = {"network.lan=interface",
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
              (std::vector<std::string>{
                  "uci delete network.vlan10;uci delete network.vlan20;uci commit network",
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
    EXPECT_EQ(fake::system_commands(),
              std::vector<std::string>{"uci delete network.vlan10;uci commit network"});
}

TEST_F(vlan_mgt_test, an_unreadable_id_list_deletes_nothing)
{
    std::vector<std::string> store = {"vlanac.activation.enabled=1"};
    add_vlan(store, 0, {"10", "off", "x", "-", "-", "-"});
    fake::serve_uci_lines(store);
    fake::unstartable("uci show network -q | grep interface | grep vlan");
    main_vlan_mgt(0, nullptr);
    EXPECT_EQ(fake::system_commands(), (std::vector<std::string>{"uci commit network", vlan_batch(10, "")}));
}

TEST_F(vlan_mgt_test, thirty_two_vlans_over_eight_switch_vlans_and_four_interfaces)
{
    std::vector<std::string> store = wifi(4);
    store.push_back("vlanac.activation.enabled=1");
    for (int i = 0; i < 8; ++i) {
        const std::string s = "vlansw.@vlan[" + std::to_string(i) + "]";
        store.push_back(s + ".vlanid=" + std::to_string(200 + i));
        store.push_back(s + ".bridge=" + (i == 7 ? std::string("All Others") : "net" + std::to_string(i % 4)));
    }
    std::string log_entries;
    for (int k = 0; k < 32; ++k) {
        int id = 100 + k;
        std::string ip = "10.0." + std::to_string(k) + ".1";
        add_vlan(store, k, {std::to_string(id), "on", k % 5 == 0 ? "All Others" : "net" + std::to_string(k % 4),
                            k % 2 ? "wifi" : "ether", ip, "255.255.255.0"});
        log_entries += (k ? "," : "") + std::string("id=") + std::to_string(id) + "[ip=" + ip + "]";
    }
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
    EXPECT_EQ(batches.back(), stamp_prefix + log_entries + "' >> /var/log/zelvlan");
}

}  // namespace
