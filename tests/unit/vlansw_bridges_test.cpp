#include "vlansw_bridges.h"

#include "fixture.h"

#include <gtest/gtest.h>

namespace {

using fixture::lines;
using fixture::wifi;
using vlansw_bridges_test = fixture::fake_test;

struct section {
    int i;
    std::string id, bridge;
};

void add_sections(lines& store, const std::vector<section>& sections)
{
    for (const auto& v : sections) {
        const std::string s = "vlansw.@vlan[" + std::to_string(v.i) + "]";
        store.push_back(s + "=vlan");
        store.push_back(s + ".vlanid=" + v.id);
        store.push_back(s + ".bridge=" + v.bridge);
    }
}

TEST_F(vlansw_bridges_test, worked_example)
{
    lines store = {
        "wireless.@wifi-iface[0].ssid=Main",   "wireless.@wifi-iface[1].ssid=Guest",
        "wireless.@wifi-iface[1].mode=ap",     "network.vlansw0=interface",
        "network.vlansw0.ipaddr=192.168.100.1",
    };
    add_sections(store, {{0, "10", "Guest"}, {1, "20", "All Others"}, {2, "30", "Guest"}});
    fake::serve_uci_lines(store);

    EXPECT_EQ(build_vlansw_bridges(), 2);
    EXPECT_EQ(fake::system_commands(),
              (lines{
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

struct run_case {
    const char* name;
    int interfaces;  // Wi-Fi interfaces net0, net1, ...
    lines options;
    std::vector<section> sections;
    std::string unstartable;  // a query that can't be started, if any
    int count;
    lines batches;
};

using vlansw_runs = fixture::fake_table<run_case>;

TEST_P(vlansw_runs, batches)
{
    const run_case& c = GetParam();
    lines store = wifi(c.interfaces);
    store.insert(store.end(), c.options.begin(), c.options.end());
    add_sections(store, c.sections);
    fake::serve_uci_lines(store);
    if (!c.unstartable.empty())
        fake::unstartable(c.unstartable);
    EXPECT_EQ(build_vlansw_bridges(), c.count);
    EXPECT_EQ(fake::system_commands(), c.batches);
}

INSTANTIATE_TEST_SUITE_P(
    cases, vlansw_runs,
    ::testing::Values(
        run_case{"without_sections_bridges_with_an_address_are_deleted",
                 3,
                 {"network.vlansw1.ipaddr=192.168.101.1", "network.vlansw4all.ipaddr=192.168.111.1"},
                 {},
                 "",
                 3,
                 {"uci commit network", "uci delete network.vlansw1;uci commit network", "uci commit network",
                  "uci delete network.vlansw4all;uci commit network"}},
        run_case{"zero_ids_are_passed_over_and_a_gap_ends_the_scan",
                 1,
                 {"vlansw.@vlan[5].bridge=net0"},  // no id: passed over
                 {{0, "0", "net0"}, {1, "abc", "net0"}, {2, "12", "net0"}, {4, "14", "net0"}},
                 "",
                 1,
                 {"uci set network.vlansw0=interface;uci set network.vlansw0.ipaddr=192.168.100.1;"
                  "uci set network.vlansw0.netmask=255.255.255.0;uci set network.vlansw0.type=bridge;"
                  "uci set network.vlansw0.proto=static;uci set network.vlansw0.ifname='eth0.12 ath0';"
                  "brctl addif br-vlansw0 ath0;uci commit network",
                  "uci commit network"}},
        run_case{"shared_bridge_keeps_its_address_and_netmask",
                 1,
                 {"network.vlansw4all.ipaddr=10.1.1.1", "network.vlansw4all.netmask=255.0.0.0"},
                 {{0, "20", "All Others"}},
                 "",
                 1,
                 {"uci commit network",
                  "uci set network.vlansw4all=interface;uci set network.vlansw4all.type=bridge;uci set "
                  "network.vlansw4all.proto=static;uci set network.vlansw4all.ifname='eth0.20 ath0';brctl addif "
                  "br-vlansw4all ath0;uci commit network"}},
        run_case{"unknown_ssid_goes_to_interface_zero",
                 2,
                 {},
                 {{0, "10", "Nowhere"}, {1, "11", "net1"}, {2, "12", "Nowhere"}},
                 "",
                 2,
                 {"uci set network.vlansw0=interface;uci set network.vlansw0.ipaddr=192.168.100.1;"
                  "uci set network.vlansw0.netmask=255.255.255.0;uci set network.vlansw0.type=bridge;"
                  "uci set network.vlansw0.proto=static;uci set network.vlansw0.ifname='eth0.10 eth0.12 ath0';"
                  "brctl addif br-vlansw0 ath0;uci commit network",
                  "uci set network.vlansw1=interface;uci set network.vlansw1.ipaddr=192.168.101.1;"
                  "uci set network.vlansw1.netmask=255.255.255.0;uci set network.vlansw1.type=bridge;"
                  "uci set network.vlansw1.proto=static;uci set network.vlansw1.ifname='eth0.11 ath1';"
                  "brctl addif br-vlansw1 ath1;uci commit network",
                  "uci commit network"}},
        run_case{"no_interfaces_leave_the_shared_list_with_a_blank",
                 0,
                 {},
                 {{0, "20", "All Others"}},
                 "",
                 0,
                 {"uci set network.vlansw4all=interface;uci set network.vlansw4all.ipaddr=192.168.111.1;uci set "
                  "network.vlansw4all.netmask=255.255.255.0;uci set network.vlansw4all.type=bridge;uci set "
                  "network.vlansw4all.proto=static;uci set network.vlansw4all.ifname='eth0.20 ';uci commit network"}},
        run_case{"a_count_that_cannot_be_read_is_zero",
                 0,
                 {},
                 {},
                 R"(uci show wireless | grep "iface\[0\].ssid=")",
                 0,
                 {"uci commit network"}},
        run_case{"unreadable_sections_delete_every_bridge_with_an_address",
                 2,
                 {"network.vlansw0.ipaddr=192.168.100.1", "network.vlansw4all.ipaddr=192.168.111.1"},
                 {},
                 R"(uci show vlansw -q | grep "vlan\[0\].bridge=")",
                 2,
                 {"uci delete network.vlansw0;uci commit network", "uci commit network",
                  "uci delete network.vlansw4all;uci commit network"}}),
    [](const ::testing::TestParamInfo<run_case>& info) { return std::string(info.param.name); });

struct mode_case {
    std::string mode_line;
    std::string address_command;
};

using vlansw_mode_test = fixture::fake_table<mode_case>;

TEST_P(vlansw_mode_test, default_address_by_mode)
{
    lines store = wifi(4);
    if (!GetParam().mode_line.empty())
        store.push_back(GetParam().mode_line);
    add_sections(store, {{0, "40", "net3"}});
    fake::serve_uci_lines(store);
    build_vlansw_bridges();
    auto batches = fake::system_commands();
    ASSERT_EQ(batches.size(), 5u);
    EXPECT_EQ(batches[3], "uci set network.vlansw3=interface;" + GetParam().address_command +
                              "uci set network.vlansw3.netmask=255.255.255.0;uci set network.vlansw3.type=bridge;"
                              "uci set network.vlansw3.proto=static;uci set network.vlansw3.ifname='eth0.40 ath3';"
                              "brctl addif br-vlansw3 ath3;uci commit network");
}

INSTANTIATE_TEST_SUITE_P(
    cases, vlansw_mode_test,
    ::testing::Values(
        mode_case{"wireless.@wifi-iface[3].mode=sta", "uci set network.vlansw3.ipaddr=192.168.103.2;"},
        mode_case{"wireless.@wifi-iface[3].mode=wds", "uci set network.vlansw3.ipaddr=192.168.103.222;"},
        mode_case{"wireless.@wifi-iface[3].mode=ap", "uci set network.vlansw3.ipaddr=192.168.103.1;"},
        mode_case{"", "uci set network.vlansw3.ipaddr=192.168.103.1;"},
        // An address present is written back, quoted when it needs to be.
        mode_case{"network.vlansw3.ipaddr=10.3.3.3", "uci set network.vlansw3.ipaddr=10.3.3.3;"},
        mode_case{"network.vlansw3.ipaddr=1.2.3.4;reboot", "uci set network.vlansw3.ipaddr='1.2.3.4;reboot';"},
        mode_case{"network.vlansw3.ipaddr=$(reboot)", "uci set network.vlansw3.ipaddr='$(reboot)';"}));

TEST_F(vlansw_bridges_test, forty_interfaces_get_thirty_two_bridges_and_one_shared_list)
{
    lines store = wifi(40);
    add_sections(store, {{0, "20", "All Others"}, {1, "31", "net31"}, {2, "35", "net35"}});  // ath35: no own bridge
    fake::serve_uci_lines(store);
    EXPECT_EQ(build_vlansw_bridges(), 40);
    auto batches = fake::system_commands();
    ASSERT_EQ(batches.size(), 33u);
    for (int e = 0; e < 31; ++e)
        EXPECT_EQ(batches[e], "uci commit network") << e;
    EXPECT_EQ(batches[31], "uci set network.vlansw31=interface;uci set network.vlansw31.ipaddr=192.168.131.1;"
                           "uci set network.vlansw31.netmask=255.255.255.0;uci set network.vlansw31.type=bridge;"
                           "uci set network.vlansw31.proto=static;uci set network.vlansw31.ifname='eth0.31 ath31';"
                           "brctl addif br-vlansw31 ath31;uci commit network");
    // Every interface joins the shared list: " ath0 ... ath39", then one addif each.
    std::string addifs, names;
    for (int k = 0; k < 40; ++k) {
        names += " ath" + std::to_string(k);
        addifs += "brctl addif br-vlansw4all ath" + std::to_string(k) + ";";
    }
    EXPECT_EQ(batches[32], "uci set network.vlansw4all=interface;uci set network.vlansw4all.ipaddr=192.168.111.1;"
                           "uci set network.vlansw4all.netmask=255.255.255.0;uci set network.vlansw4all.type=bridge;"
                           "uci set network.vlansw4all.proto=static;uci set network.vlansw4all.ifname='eth0.20" +
                               names + "';" + addifs + "uci commit network");
}

TEST_F(vlansw_bridges_test, a_row_takes_any_number_of_ids_in_scan_order)
{
    lines store = wifi(1);
    for (int i = 0; i < 40; ++i)
        add_sections(store, {{i, std::to_string(100 + (i % 35)), "net0"}});  // some ids twice
    fake::serve_uci_lines(store);
    build_vlansw_bridges();
    EXPECT_EQ(fake::system_commands(),
              (lines{"uci set network.vlansw0=interface;uci set network.vlansw0.ipaddr=192.168.100.1;"
                     "uci set network.vlansw0.netmask=255.255.255.0;uci set network.vlansw0.type=bridge;"
                     "uci set network.vlansw0.proto=static;uci set network.vlansw0.ifname='"
                     "eth0.100 eth0.101 eth0.102 eth0.103 eth0.104 eth0.105 eth0.106 eth0.107 eth0.108 eth0.109 "
                     "eth0.110 eth0.111 eth0.112 eth0.113 eth0.114 eth0.115 eth0.116 eth0.117 eth0.118 eth0.119 "
                     "eth0.120 eth0.121 eth0.122 eth0.123 eth0.124 eth0.125 eth0.126 eth0.127 eth0.128 eth0.129 "
                     "eth0.130 eth0.131 eth0.132 eth0.133 eth0.134 eth0.100 eth0.101 eth0.102 eth0.103 eth0.104 "
                     "ath0';brctl addif br-vlansw0 ath0;uci commit network",
                     "uci commit network"}));
}

}  // namespace
