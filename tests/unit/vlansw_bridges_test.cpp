#include "vlansw_bridges.h"

#include "fake_system.h"
#include "fixture.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> wifi(int n)
{
    std::vector<std::string> lines;
    for (int e = 0; e < n; ++e)
        lines.push_back("wireless.@wifi-iface[" + std::to_string(e) + "].ssid=net" + std::to_string(e));
    return lines;
}

void add_section(std::vector<std::string>& store, int i, const std::string& id, const std::string& bridge)
{
    const std::string s = "vlansw.@vlan[" + std::to_string(i) + "]";
    store.push_back(s + "=vlan");
    store.push_back(s + ".vlanid=" + id);
    store.push_back(s + ".bridge=" + bridge);
}

std::string commit_only() { return "uci commit network"; }

std::string iface_batch(int e, const std::string& address, const std::string& members)
{
    const std::string b = "network.vlansw" + std::to_string(e);
    return "uci set " + b + "=interface;uci set " + b + ".ipaddr=" + address + ";uci set " + b +
           ".netmask=255.255.255.0;uci set " + b + ".type=bridge;uci set " + b + ".proto=static;uci set " + b +
           ".ifname='" + members + " ath" + std::to_string(e) + "';brctl addif br-vlansw" + std::to_string(e) +
           " ath" + std::to_string(e) + ";uci commit network";
}

class vlansw_bridges_test : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
};

TEST_F(vlansw_bridges_test, worked_example)
{
    std::vector<std::string> store = {
        "wireless.@wifi-iface[0].ssid=Main",   "wireless.@wifi-iface[1].ssid=Guest",
        "wireless.@wifi-iface[1].mode=ap",     "network.vlansw0=interface",
        "network.vlansw0.ipaddr=192.168.100.1",
    };
    add_section(store, 0, "10", "Guest");
    add_section(store, 1, "20", "All Others");
    add_section(store, 2, "30", "Guest");
    fake::serve_uci_lines(store);

    EXPECT_EQ(build_vlansw_bridges(), 2);
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{
                  "uci delete network.vlansw0;uci commit network",
                  "uci set network.vlansw1=interface;uci set network.vlansw1.ipaddr=192.168.101.1;uci set "
                  "network.vlansw1.netmask=255.255.255.0;uci set network.vlansw1.type=bridge;uci set "
                  "network.vlansw1.proto=static;uci set network.vlansw1.ifname='eth0.10 eth0.30 ath1';brctl addif "
                  "br-vlansw1 ath1;uci commit network",
                  "uci set network.vlansw4all=interface;uci set network.vlansw4all.ipaddr=192.168.111.1;uci set "
                  "network.vlansw4all.netmask=255.255.255.0;uci set network.vlansw4all.type=bridge;uci set "
                  "network.vlansw4all.proto=static;uci set network.vlansw4all.ifname='eth0.20 ath0 ath1';brctl "
                  "addif br-vlansw4all ath0;brctl addif br-vlansw4all ath1;uci commit network",
              }));
}

TEST_F(vlansw_bridges_test, without_sections_bridges_with_an_address_are_deleted)
{
    std::vector<std::string> store = wifi(3);
    store.push_back("network.vlansw1.ipaddr=192.168.101.1");
    store.push_back("network.vlansw4all.ipaddr=192.168.111.1");
    fake::serve_uci_lines(store);
    EXPECT_EQ(build_vlansw_bridges(), 3);
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{commit_only(), "uci delete network.vlansw1;uci commit network", commit_only(),
                                        "uci delete network.vlansw4all;uci commit network"}));
}

TEST_F(vlansw_bridges_test, zero_ids_are_passed_over_and_a_gap_ends_the_scan)
{
    std::vector<std::string> store = wifi(1);
    add_section(store, 0, "0", "net0");
    add_section(store, 1, "abc", "net0");
    add_section(store, 2, "12", "net0");
    add_section(store, 4, "14", "net0");
    store.push_back("vlansw.@vlan[5].bridge=net0");  // no id: passed over
    fake::serve_uci_lines(store);
    build_vlansw_bridges();
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{iface_batch(0, "192.168.100.1", "eth0.12"), commit_only()}));
}

struct mode_case {
    std::string mode_line;
    std::string address;
};

class vlansw_mode_test : public ::testing::TestWithParam<mode_case> {
protected:
    void SetUp() override { fake::reset(); }
};

TEST_P(vlansw_mode_test, default_address_by_mode)
{
    std::vector<std::string> store = wifi(4);
    if (!GetParam().mode_line.empty())
        store.push_back(GetParam().mode_line);
    add_section(store, 0, "40", "net3");
    fake::serve_uci_lines(store);
    build_vlansw_bridges();
    auto batches = fake::system_commands();
    ASSERT_EQ(batches.size(), 5u);
    EXPECT_EQ(batches[3], iface_batch(3, GetParam().address, "eth0.40"));
}

INSTANTIATE_TEST_SUITE_P(
    cases, vlansw_mode_test,
    ::testing::Values(mode_case{"wireless.@wifi-iface[3].mode=sta", "192.168.103.2"},
                      mode_case{"wireless.@wifi-iface[3].mode=wds", "192.168.103.222"},
                      mode_case{"wireless.@wifi-iface[3].mode=ap", "192.168.103.1"},
                      mode_case{"", "192.168.103.1"},
                      // An address present is written back, quoted when it needs to be.
                      mode_case{"network.vlansw3.ipaddr=10.3.3.3", "10.3.3.3"},
                      mode_case{"network.vlansw3.ipaddr=1.2.3.4;reboot", "'1.2.3.4;reboot'"},
                      mode_case{"network.vlansw3.ipaddr=$(reboot)", "'$(reboot)'"}));

TEST_F(vlansw_bridges_test, shared_bridge_keeps_its_address_and_netmask)
{
    std::vector<std::string> store = wifi(1);
    store.push_back("network.vlansw4all.ipaddr=10.1.1.1");
    store.push_back("network.vlansw4all.netmask=255.0.0.0");
    add_section(store, 0, "20", "All Others");
    fake::serve_uci_lines(store);
    build_vlansw_bridges();
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{
                  commit_only(),
                  "uci set network.vlansw4all=interface;uci set network.vlansw4all.type=bridge;uci set "
                  "network.vlansw4all.proto=static;uci set network.vlansw4all.ifname='eth0.20 ath0';brctl addif "
                  "br-vlansw4all ath0;uci commit network"}));
}

TEST_F(vlansw_bridges_test, unknown_ssid_goes_to_interface_zero)
{
    std::vector<std::string> store = wifi(2);
    add_section(store, 0, "10", "Nowhere");
    add_section(store, 1, "11", "net1");
    add_section(store, 2, "12", "Nowhere");
    fake::serve_uci_lines(store);
    build_vlansw_bridges();
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{iface_batch(0, "192.168.100.1", "eth0.10 eth0.12"),
                                        iface_batch(1, "192.168.101.1", "eth0.11"), commit_only()}));
}

TEST_F(vlansw_bridges_test, forty_interfaces_get_thirty_two_bridges_and_one_shared_list)
{
    std::vector<std::string> store = wifi(40);
    add_section(store, 0, "20", "All Others");
    add_section(store, 1, "31", "net31");
    add_section(store, 2, "35", "net35");  // ath35 has no bridge of its own
    fake::serve_uci_lines(store);
    EXPECT_EQ(build_vlansw_bridges(), 40);
    auto batches = fake::system_commands();
    ASSERT_EQ(batches.size(), 33u);
    for (int e = 0; e < 31; ++e)
        EXPECT_EQ(batches[e], commit_only()) << e;
    EXPECT_EQ(batches[31], iface_batch(31, "192.168.131.1", "eth0.31"));
    std::string addifs, names;
    for (int k = 0; k < 40; ++k) {
        names += " ath" + std::to_string(k);
        addifs += ";brctl addif br-vlansw4all ath" + std::to_string(k);
    }
    EXPECT_EQ(batches[32], "uci set network.vlansw4all=interface;uci set network.vlansw4all.ipaddr=192.168.111.1;"
                           "uci set network.vlansw4all.netmask=255.255.255.0;uci set network.vlansw4all.type=bridge;"
                           "uci set network.vlansw4all.proto=static;uci set network.vlansw4all.ifname='eth0.20" +
                               names + "'" + addifs + ";uci commit network");
}

TEST_F(vlansw_bridges_test, a_row_takes_any_number_of_ids_in_scan_order)
{
    std::vector<std::string> store = wifi(1);
    std::string members;
    for (int i = 0; i < 40; ++i) {
        int id = 100 + (i % 35);  // some ids twice
        add_section(store, i, std::to_string(id), "net0");
        members += (i ? " eth0." : "eth0.") + std::to_string(id);
    }
    fake::serve_uci_lines(store);
    build_vlansw_bridges();
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{iface_batch(0, "192.168.100.1", members), commit_only()}));
}

TEST_F(vlansw_bridges_test, no_interfaces_leave_the_shared_list_with_a_blank)
{
    std::vector<std::string> store;
    add_section(store, 0, "20", "All Others");
    fake::serve_uci_lines(store);
    EXPECT_EQ(build_vlansw_bridges(), 0);
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{
                  "uci set network.vlansw4all=interface;uci set network.vlansw4all.ipaddr=192.168.111.1;uci set "
                  "network.vlansw4all.netmask=255.255.255.0;uci set network.vlansw4all.type=bridge;uci set "
                  "network.vlansw4all.proto=static;uci set network.vlansw4all.ifname='eth0.20 ';uci commit network"}));
}

TEST_F(vlansw_bridges_test, a_count_that_cannot_be_read_is_zero)
{
    fake::unstartable("uci show wireless | grep \"iface\\[0\\].ssid=\"");
    EXPECT_EQ(build_vlansw_bridges(), 0);
    EXPECT_EQ(fake::system_commands(), std::vector<std::string>{commit_only()});
}

TEST_F(vlansw_bridges_test, unreadable_sections_delete_every_bridge_with_an_address)
{
    std::vector<std::string> store = wifi(2);
    store.push_back("network.vlansw0.ipaddr=192.168.100.1");
    store.push_back("network.vlansw4all.ipaddr=192.168.111.1");
    fake::serve_uci_lines(store);
    fake::unstartable("uci show vlansw -q | grep \"vlan\\[0\\].bridge=\"");
    build_vlansw_bridges();
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{"uci delete network.vlansw0;uci commit network", commit_only(),
                                        "uci delete network.vlansw4all;uci commit network"}));
}

}  // namespace
