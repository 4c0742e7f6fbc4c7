#include "handlers.h"

#include "fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using fixture::lines;
using fixture::stamp;

const char* const ifconfig_lan = "ifconfig br-lan | grep \"inet addr\"";

class vlan_uhttpd_test : public fixture::uci_test {
protected:
    void settings(const char* mode, bool vlans_on, bool http_list, bool https_list)
    {
        if (mode)
            uci["dropbear.webname.webmode"] = mode;
        uci["vlanac.activation.enabled"] = vlans_on ? "1" : "0";
        if (http_list)
            uci["uhttpd.main.listen_http"] = "0.0.0.0:80";
        if (https_list)
            uci["uhttpd.main.listen_https"] = "0.0.0.0:443";
    }

    void section(int n, const char* id, const char* used, const char* ip)
    {
        const std::string s = "vlan.@vlan[" + std::to_string(n) + "]";
        uci[s + ".vlanid"] = id;
        if (used)
            uci[s + ".vlan_used"] = used;
        if (ip)
            uci[s + ".ip"] = ip;
    }

    lines run(std::vector<std::string> args = {"zelvlan", "--app=vlan-set-uhttpd"})
    {
        EXPECT_EQ(fixture::run_main(main_vlan_uhttpd, args), 0);
        return fake::system_commands();
    }
};

struct port_case {
    lines args;
    lines commands;
};

class vlan_uhttpd_ports : public vlan_uhttpd_test, public ::testing::WithParamInterface<port_case> {};

TEST_P(vlan_uhttpd_ports, third_argument_sets_the_port)
{
    settings("HTTP", false, false, false);
    EXPECT_EQ(run(GetParam().args), GetParam().commands);
}

INSTANTIATE_TEST_SUITE_P(
    table, vlan_uhttpd_ports,
    ::testing::Values(
        port_case{{"zelvlan", "--app=vlan-set-uhttpd"},
                  {"uci add_list uhttpd.main.listen_http='0.0.0.0:80';uci commit uhttpd",
                   "echo '" + stamp + "Running HTTP...[Port]=[80] at IP=0.0.0.0:80' >> /var/log/zelvlan"}},
        port_case{{"zelvlan", "--app=vlan-set-uhttpd", "-webport=8080"},
                  {"uci add_list uhttpd.main.listen_http='0.0.0.0:8080';uci commit uhttpd",
                   "echo '" + stamp + "Running HTTP...[Port]=[8080] at IP=0.0.0.0:8080' >> /var/log/zelvlan"}},
        port_case{{"zelvlan", "--app=vlan-set-uhttpd", "--webport=81"},
                  {"uci add_list uhttpd.main.listen_http='0.0.0.0:81';uci commit uhttpd",
                   "echo '" + stamp + "Running HTTP...[Port]=[81] at IP=0.0.0.0:81' >> /var/log/zelvlan"}},
        port_case{{"zelvlan", "--app=vlan-set-uhttpd", "port=81"},
                  {"uci add_list uhttpd.main.listen_http='0.0.0.0:80';uci commit uhttpd",
                   "echo '" + stamp + "Running HTTP...[Port]=[80] at IP=0.0.0.0:80' >> /var/log/zelvlan"}},
        port_case{{"zelvlan", "--app=vlan-set-uhttpd", "-webport"},
                  {"uci add_list uhttpd.main.listen_http='0.0.0.0:0';uci commit uhttpd",
                   "echo '" + stamp + "Running HTTP...[Port]=[0] at IP=0.0.0.0:0' >> /var/log/zelvlan"}},
        port_case{{"zelvlan", "--app=vlan-set-uhttpd", "-webport=99999999999"},
                  {"uci add_list uhttpd.main.listen_http='0.0.0.0:2147483647';uci commit uhttpd",
                   "echo '" + stamp +
                       "Running HTTP...[Port]=[2147483647] at IP=0.0.0.0:2147483647' >> /var/log/zelvlan"}}));

TEST_F(vlan_uhttpd_test, switch_off_http_with_both_lists)
{
    settings("HTTP", false, true, true);
    EXPECT_EQ(run(), (lines{"uci delete uhttpd.main.listen_http;uci add_list uhttpd.main.listen_http='0.0.0.0:80';"
                            "uci commit uhttpd",
                            "uci delete uhttpd.main.listen_https;uci commit uhttpd",
                            "echo '" + stamp + "Running HTTP...[Port]=[80] at IP=0.0.0.0:80' >> /var/log/zelvlan"}));
}

TEST_F(vlan_uhttpd_test, switch_off_https_exchanges_the_lists)
{
    settings("HTTPS", false, true, false);
    EXPECT_EQ(run({"zelvlan", "--app=vlan-set-uhttpd", "-webport=443"}),
              (lines{"uci add_list uhttpd.main.listen_https='0.0.0.0:443';uci commit uhttpd",
                     "uci delete uhttpd.main.listen_http;uci commit uhttpd",
                     "echo '" + stamp + "Running HTTPS...[Port]=[443] at IP=0.0.0.0:443' >> /var/log/zelvlan"}));
}

TEST_F(vlan_uhttpd_test, switch_off_odd_or_missing_web_mode_only_logs)
{
    settings("FTP", false, true, true);
    EXPECT_EQ(run(), lines{"echo '" + stamp + "Running FTP...[Port]=[80] at IP=0.0.0.0:80' >> /var/log/zelvlan"});
    SetUp();
    uci.clear();
    settings(nullptr, false, true, true);
    uci.erase("vlanac.activation.enabled");  // unreadable switch counts as off
    EXPECT_EQ(run(), lines{"echo '" + stamp + "Running ...[Port]=[80] at IP=0.0.0.0:80' >> /var/log/zelvlan"});
}

TEST_F(vlan_uhttpd_test, switch_on_documented_example)
{
    settings("HTTP", true, true, false);
    uci["network.lan.proto"] = "static";
    section(0, "0", "off", "192.168.1.1");
    section(1, "10", "on", "192.168.10.1");
    EXPECT_EQ(run(), (lines{"uci delete uhttpd.main.listen_http;uci add_list uhttpd.main.listen_http='127.0.0.1:80';"
                            "uci add_list uhttpd.main.listen_http='192.168.10.1:80'",
                            "uci commit uhttpd",
                            "echo '" + stamp +
                                "Running HTTP...[Port]=[80] at IP=127.0.0.1 192.168.10.1 ' >> /var/log/zelvlan"}));
}

TEST_F(vlan_uhttpd_test, switch_on_deletes_both_lists_before_any_entry)
{
    settings("HTTPS", true, true, true);
    section(0, "10", "on", "10.0.0.1");
    section(1, "20", "on", "20.0.0.1");
    EXPECT_EQ(run({"zelvlan", "--app=vlan-set-uhttpd", "-webport=8443"}),
              (lines{"uci delete uhttpd.main.listen_http;uci delete uhttpd.main.listen_https;"
                     "uci add_list uhttpd.main.listen_https='10.0.0.1:8443'",
                     "uci add_list uhttpd.main.listen_https='20.0.0.1:8443'", "uci commit uhttpd",
                     "echo '" + stamp +
                         "Running HTTPS...[Port]=[8443] at IP=10.0.0.1 20.0.0.1 ' >> /var/log/zelvlan"}));
}

TEST_F(vlan_uhttpd_test, switch_on_dhcp_lan_refresh_carries_the_pending_fragments)
{
    settings("HTTP", true, true, false);
    uci["network.lan.proto"] = "dhcp";
    section(0, "0", "on", "192.168.1.1");
    fake::script(ifconfig_lan, {"inet addr:192.168.1.100  Bcast:192.168.1.255  Mask:255.255.255.0"});
    EXPECT_EQ(run(), (lines{"uci delete uhttpd.main.listen_http;uci add_list uhttpd.main.listen_http='127.0.0.1:80';"
                            "uci set vlan.cfg029c96.ip=192.168.1.100;uci set vlan.cfg029c96.netmask=255.255.255.0;"
                            "uci commit vlan",
                            "uci add_list uhttpd.main.listen_http='192.168.1.1:80'", "uci commit uhttpd",
                            "echo '" + stamp +
                                "Running HTTP...[Port]=[80] at IP=127.0.0.1 192.168.1.1 ' >> /var/log/zelvlan"}));
    EXPECT_TRUE(fake::sleeps().empty());
}

TEST_F(vlan_uhttpd_test, dhcp_lan_without_address_waits_and_skips_the_vlan_commit)
{
    settings("HTTP", true, false, false);
    uci["network.lan.proto"] = "dhcp";
    section(0, "0", "off", nullptr);
    // The log line's time stamp is taken after the six pauses.
    EXPECT_EQ(run(), (lines{"uci add_list uhttpd.main.listen_http='127.0.0.1:80'", "uci commit uhttpd",
                            "echo '[01-01-1970 00:00:06.000000] Running HTTP...[Port]=[80] at IP=127.0.0.1 ' >> "
                            "/var/log/zelvlan"}));
    EXPECT_EQ(fake::sleeps(), std::vector<long long>(6, 1000));
}

TEST_F(vlan_uhttpd_test, second_lan_section_adds_loopback_and_refreshes_again)
{
    settings("HTTP", true, false, false);
    uci["network.lan.proto"] = "dhcp";
    section(0, "0", "off", nullptr);
    section(1, "0", "off", nullptr);
    fake::script(ifconfig_lan, {"inet addr:10.0.0.2  Mask:255.0.0.0"});
    EXPECT_EQ(run(), (lines{"uci add_list uhttpd.main.listen_http='127.0.0.1:80';uci set vlan.cfg029c96.ip=10.0.0.2;"
                            "uci set vlan.cfg029c96.netmask=255.0.0.0;uci commit vlan",
                            "uci add_list uhttpd.main.listen_http='127.0.0.1:80';uci set vlan.cfg029c96.ip=10.0.0.2;"
                            "uci set vlan.cfg029c96.netmask=255.0.0.0;uci commit vlan",
                            "uci commit uhttpd",
                            "echo '" + stamp +
                                "Running HTTP...[Port]=[80] at IP=127.0.0.1 127.0.0.1 ' >> /var/log/zelvlan"}));
}

TEST_F(vlan_uhttpd_test, lan_section_in_use_gets_loopback_and_its_address)
{
    settings("HTTP", true, false, false);
    section(0, "0", "on", "192.168.1.1");
    EXPECT_EQ(run(), (lines{"uci add_list uhttpd.main.listen_http='127.0.0.1:80';"
                            "uci add_list uhttpd.main.listen_http='192.168.1.1:80'",
                            "uci commit uhttpd",
                            "echo '" + stamp +
                                "Running HTTP...[Port]=[80] at IP=127.0.0.1 192.168.1.1 ' >> /var/log/zelvlan"}));
}

TEST_F(vlan_uhttpd_test, switch_on_odd_web_mode_deletes_and_commits_only)
{
    settings("FTP", true, true, true);
    section(0, "0", "off", nullptr);
    section(1, "10", "on", "10.0.0.1");
    EXPECT_EQ(run(), (lines{"uci delete uhttpd.main.listen_http;uci delete uhttpd.main.listen_https",
                            "uci commit uhttpd",
                            "echo '" + stamp +
                                "Running FTP...[Port]=[80] at IP=127.0.0.1 10.0.0.1 ' >> /var/log/zelvlan"}));
}

TEST_F(vlan_uhttpd_test, odd_web_mode_dhcp_refresh_has_no_leading_semicolon)
{
    settings("FTP", true, false, false);
    uci["network.lan.proto"] = "dhcp";
    section(0, "0", "off", nullptr);
    fake::script(ifconfig_lan, {"inet addr:10.0.0.2  Mask:255.0.0.0"});
    EXPECT_EQ(run(), (lines{"uci set vlan.cfg029c96.ip=10.0.0.2;uci set vlan.cfg029c96.netmask=255.0.0.0;uci commit vlan",
                            "uci commit uhttpd",
                            "echo '" + stamp + "Running FTP...[Port]=[80] at IP=127.0.0.1 ' >> /var/log/zelvlan"}));
}

TEST_F(vlan_uhttpd_test, walk_ends_at_the_first_missing_vlan_id_and_skips_unusable_sections)
{
    settings("HTTP", true, false, false);
    section(0, "10", "on", nullptr);
    section(1, "20", "none", "20.0.0.1");  // "none" holds "on"
    section(2, "30", "off", "30.0.0.1");
    section(4, "50", "on", "50.0.0.1");
    EXPECT_EQ(run(), (lines{"uci add_list uhttpd.main.listen_http='20.0.0.1:80'", "uci commit uhttpd",
                            "echo '" + stamp + "Running HTTP...[Port]=[80] at IP=20.0.0.1 ' >> /var/log/zelvlan"}));
}

TEST_F(vlan_uhttpd_test, hostile_address_stays_inside_its_quotes)
{
    settings("HTTP", true, false, false);
    section(0, "10", "on", "1.2.3.4';reboot;'");
    EXPECT_EQ(run(), (lines{R"(uci add_list uhttpd.main.listen_http='1.2.3.4'\'';reboot;'\'':80')",
                            "uci commit uhttpd",
                            "echo '" + stamp +
                                R"(Running HTTP...[Port]=[80] at IP=1.2.3.4'\'';reboot;'\'' ' >> /var/log/zelvlan)"}));
}

}  // namespace
