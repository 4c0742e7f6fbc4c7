#include "interface_address.h"

#include "fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* const ifconfig_lan = "ifconfig br-lan | grep \"inet addr\"";
const char* const lan_dns = "uci show network | grep lan.dns=";
const char* const wan_dns = "uci show network | grep wan.dns=";
const char* const lan_gateway = "uci show network | grep lan.gateway=";
const char* const wan_gateway = "uci show network | grep wan.gateway=";
const char* const busybox_line = "          inet addr:10.0.0.5  Bcast:10.0.0.255  Mask:255.0.0.0";

uint32_t quad(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    return a << 24 | b << 16 | c << 8 | d;
}

struct probe_case {
    const char* name;
    const char* quantity;
    const char* command;
    std::vector<std::string> printed;
    int result;
    uint32_t value;
};

using interface_address_cases = fixture::fake_table<probe_case>;

TEST_P(interface_address_cases, reads_the_quantity)
{
    const probe_case& c = GetParam();
    fake::script(c.command, c.printed);
    uint32_t value = 12345;
    EXPECT_EQ(interface_address(c.name, c.quantity, value), c.result);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(fake::popen_commands(), std::vector<std::string>{c.command});
    EXPECT_TRUE(fake::system_commands().empty());
}

INSTANTIATE_TEST_SUITE_P(
    table, interface_address_cases,
    ::testing::Values(
        probe_case{"lan", "ipaddr", ifconfig_lan, {busybox_line}, 0, quad(10, 0, 0, 5)},
        probe_case{"lan", "netmask", ifconfig_lan, {busybox_line}, 0, quad(255, 0, 0, 0)},
        probe_case{"lan", "ipaddr", ifconfig_lan, {"inet addr:192.168.1.100  Mask:255.255.255.0", "inet addr:1.1.1.1"}, 0,
                   quad(192, 168, 1, 100)},
        // The bridge has no IPv4 address yet: grep prints nothing.
        probe_case{"lan", "ipaddr", ifconfig_lan, {}, -1, 0},
        probe_case{"lan", "netmask", ifconfig_lan, {"inet addr:10.0.0.5  Bcast:10.0.0.255"}, -1, 0},
        probe_case{"lan", "ipaddr", ifconfig_lan, {"inet6 addr: fe80::1/64"}, -1, 0},
        probe_case{"lan", "dns1", lan_dns, {"network.lan.dns=8.8.8.8 8.8.4.4"}, 0, quad(8, 8, 8, 8)},
        probe_case{"lan", "dns2", lan_dns, {"network.lan.dns=8.8.8.8 8.8.4.4"}, 0, quad(8, 8, 4, 4)},
        probe_case{"lan", "dns2", lan_dns, {"network.lan.dns=8.8.8.8"}, -1, 0},
        probe_case{"lan", "dns1", lan_dns, {"network.lan.dns='9.9.9.9'"}, 0, quad(9, 9, 9, 9)},
        probe_case{"wan", "dns1", wan_dns, {"network.wan.dns=1.0.0.1"}, 0, quad(1, 0, 0, 1)},
        probe_case{"wan", "dns2", wan_dns, {"network.wan.dns=1.0.0.1 4.2.2.2"}, 0, quad(4, 2, 2, 2)},
        probe_case{"lan", "gateway", lan_gateway, {"network.lan.gateway='192.168.1.254'"}, 0, quad(192, 168, 1, 254)},
        probe_case{"wan", "gateway", wan_gateway, {"network.wan.gateway=172.16.0.1"}, 0, quad(172, 16, 0, 1)},
        probe_case{"lanwan", "gateway", lan_gateway, {"network.lan.gateway=10.1.1.1"}, 0, quad(10, 1, 1, 1)},
        probe_case{"lan", "gateway", lan_gateway, {}, -1, 0},
        // The skip pattern passes over a first number that begins with 0.
        probe_case{"lan", "gateway", lan_gateway, {"network.lan.gateway=0.1.2.3"}, 0, quad(1, 2, 3, 0)},
        // The skip must pass at least one character: a bare value is not found.
        probe_case{"lan", "gateway", lan_gateway, {"192.168.1.1"}, 0, 0},
        probe_case{"lan", "dns1", lan_dns, {"network.lan.dns=8.8.x.8"}, 0, quad(8, 8, 0, 0)}));

using interface_address_test = fixture::fake_test;

TEST_F(interface_address_test, uncovered_requests_run_nothing)
{
    const std::vector<std::pair<const char*, const char*>> requests = {
        {"wan", "ipaddr"}, {"lan0", "ipaddr"}, {"wan", "netmask"}, {"eth0", "gateway"},
        {"eth0", "dns1"}, {"lan", "mtu"}, {"lan", ""}, {"", "ipaddr"}};
    for (const auto& r : requests) {
        fake::reset();
        uint32_t value = 7;
        EXPECT_EQ(interface_address(r.first, r.second, value), -1) << r.first << " " << r.second;
        EXPECT_EQ(value, 0u);
        EXPECT_TRUE(fake::calls().empty());
    }
}

TEST_F(interface_address_test, unstartable_command_fails)
{
    fake::unstartable(ifconfig_lan);
    uint32_t value = 7;
    EXPECT_EQ(interface_address("lan", "ipaddr", value), -1);
    EXPECT_EQ(value, 0u);
}

TEST_F(interface_address_test, polling_pauses_between_failures_only)
{
    fake::script(ifconfig_lan, {});
    fake::script(ifconfig_lan, {});
    fake::script(ifconfig_lan, {busybox_line});
    uint32_t value = 0;
    EXPECT_EQ(interface_address_polled("lan", "ipaddr", value, 7), 0);
    EXPECT_EQ(value, quad(10, 0, 0, 5));
    EXPECT_EQ(fake::popen_commands().size(), 3u);
    EXPECT_EQ(fake::sleeps(), (std::vector<long long>{1000, 1000}));

    fake::reset();
    EXPECT_EQ(interface_address_polled("lan", "ipaddr", value, 7), -1);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(fake::popen_commands().size(), 7u);
    EXPECT_EQ(fake::sleeps(), std::vector<long long>(6, 1000));
}

TEST_F(interface_address_test, dotted_form_is_top_byte_first)
{
    EXPECT_EQ(dotted_address(quad(192, 168, 1, 100)), "192.168.1.100");
    EXPECT_EQ(dotted_address(0), "0.0.0.0");
    EXPECT_EQ(dotted_address(0xffffffffu), "255.255.255.255");
}

}  // namespace
