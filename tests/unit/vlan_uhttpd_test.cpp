#include "handlers.h"

#include "fake_system.h"
#include "fixture.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

const std::string stamp = "[01-01-1970 00:00:00.000000] ";
const char* const ifconfig_lan = "ifconfig br-lan | grep \"inet addr\"";
const std::string add_http = "uci add_list uhttpd.main.listen_http=";
const std::string add_https = "uci add_list uhttpd.main.listen_https=";

std::string log_of(const std::string& mode, int port, const std::string& addresses,
                   const std::string& when = stamp)
{
    return "echo '" + when + "Running " + mode + "...[Port]=[" + std::to_string(port) + "] at IP=" + addresses +
           "' >> /var/log/zelvlan";
}

class vlan_uhttpd_test : public ::testing::Test {
protected:
    std::map<std::string, std::string> uci;

    void SetUp() override
    {
        fake::reset();
        fake::serve_uci_map(uci);
    }

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

    std::vector<std::string> run(std::vector<std::string> args = {"zelvlan", "--app=vlan-set-uhttpd"})
    {
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        EXPECT_EQ(main_vlan_uhttpd(static_cast<int>(args.size()), argv.data()), 0);
        return fake::system_commands();
    }
};

struct port_case {
    std::vector<std::string> args;
    int port;
};

class vlan_uhttpd_ports : public vlan_uhttpd_test, public ::testing::WithParamInterface<port_case> {};

TEST_P(vlan_uhttpd_ports, third_argument_sets_the_port)
{
    const port_case& c = GetParam();
    settings("HTTP", false, false, false);
    const std::string p = std::to_string(c.port);
    EXPECT_EQ(run(c.args), (std::vector<std::string>{add_http + "'0.0.0.0:" + p + "';uci commit uhttpd",
                                                     log_of("HTTP", c.port, "0.0.0.0:" + p)}));
}

INSTANTIATE_TEST_SUITE_P(
    table, vlan_uhttpd_ports,
    ::testing::Values(port_case{{"zelvlan", "--app=vlan-set-uhttpd"}, 80},
                      port_case{{"zelvlan", "--app=vlan-set-uhttpd", "-webport=8080"}, 8080},
                      port_case{{"zelvlan", "--app=vlan-set-uhttpd", "--webport=81"}, 81},
                      port_case{{"zelvlan", "--app=vlan-set-uhttpd", "port=81"}, 80},
                      port_case{{"zelvlan", "--app=vlan-set-uhttpd", "-webport"}, 0},
                      port_case{{"zelvlan", "--app=vlan-set-uhttpd", "-webport=99999999999"}, 2147483647}));

TEST_F(vlan_uhttpd_test, switch_off_http_with_both_lists)
{
    settings("HTTP", false, true, true);
    EXPECT_EQ(run(), (std::vector<std::string>{
                         "uci delete uhttpd.main.listen_http;" + add_http + "'0.0.0.0:80';uci commit uhttpd",
                         "uci delete uhttpd.main.listen_https;uci commit uhttpd",
                         log_of("HTTP", 80, "0.0.0.0:80")}));
}

TEST_F(vlan_uhttpd_test, switch_off_https_exchanges_the_lists)
{
    settings("HTTPS", false, true, false);
    EXPECT_EQ(run({"zelvlan", "--app=vlan-set-uhttpd", "-webport=443"}),
              (std::vector<std::string>{add_https + "'0.0.0.0:443';uci commit uhttpd",
                                        "uci delete uhttpd.main.listen_http;uci commit uhttpd",
                                        log_of("HTTPS", 443, "0.0.0.0:443")}));
}

TEST_F(vlan_uhttpd_test, switch_off_odd_or_missing_web_mode_only_logs)
{
    settings("FTP", false, true, true);
    EXPECT_EQ(run(), std::vector<std::string>{log_of("FTP", 80, "0.0.0.0:80")});
    SetUp();
    uci.clear();
    settings(nullptr, false, true, true);
    uci.erase("vlanac.activation.enabled");  // unreadable switch counts as off
    EXPECT_EQ(run(), std::vector<std::string>{log_of("", 80, "0.0.0.0:80")});
}

TEST_F(vlan_uhttpd_test, switch_on_documented_example)
{
    settings("HTTP", true, true, false);
    uci["network.lan.proto"] = "static";
    section(0, "0", "off", "192.168.1.1");
    section(1, "10", "on", "192.168.10.1");
    EXPECT_EQ(run(), (std::vector<std::string>{"uci delete uhttpd.main.listen_http;" + add_http + "'127.0.0.1:80';" +
                                                   add_http + "'192.168.10.1:80'",
                                               "uci commit uhttpd",
                                               log_of("HTTP", 80, "127.0.0.1 192.168.10.1 ")}));
}

TEST_F(vlan_uhttpd_test, switch_on_deletes_both_lists_before_any_entry)
{
    settings("HTTPS", true, true, true);
    section(0, "10", "on", "10.0.0.1");
    section(1, "20", "on", "20.0.0.1");
    EXPECT_EQ(run({"zelvlan", "--app=vlan-set-uhttpd", "-webport=8443"}),
              (std::vector<std::string>{"uci delete uhttpd.main.listen_http;uci delete uhttpd.main.listen_https;" +
                                            add_https + "'10.0.0.1:8443'",
                                        add_https + "'20.0.0.1:8443'", "uci commit uhttpd",
                                        log_of("HTTPS", 8443, "10.0.0.1 20.0.0.1 ")}));
}

TEST_F(vlan_uhttpd_test, switch_on_dhcp_lan_refresh_carries_the_pending_fragments)
{
    settings("HTTP", true, true, false);
    uci["network.lan.proto"] = "dhcp";
    section(0, "0", "on", "192.168.1.1");
    fake::script(ifconfig_lan, {"inet addr:192.168.1.100  Bcast:192.168.1.255  Mask:255.255.255.0"});
    EXPECT_EQ(run(), (std::vector<std::string>{"uci delete uhttpd.main.listen_http;" + add_http +
                                                   "'127.0.0.1:80';uci set vlan.cfg029c96.ip=192.168.1.100;uci set "
                                                   "vlan.cfg029c96.netmask=255.255.255.0;uci commit vlan",
                                               add_http + "'192.168.1.1:80'", "uci commit uhttpd",
                                               log_of("HTTP", 80, "127.0.0.1 192.168.1.1 ")}));
    EXPECT_TRUE(fake::sleeps().empty());
}

TEST_F(vlan_uhttpd_test, dhcp_lan_without_address_waits_and_skips_the_vlan_commit)
{
    settings("HTTP", true, false, false);
    uci["network.lan.proto"] = "dhcp";
    section(0, "0", "off", nullptr);
    // The log line's time stamp is taken after the six pauses.
    EXPECT_EQ(run(), (std::vector<std::string>{add_http + "'127.0.0.1:80'", "uci commit uhttpd",
                                               log_of("HTTP", 80, "127.0.0.1 ", "[01-01-1970 00:00:06.000000] ")}));
    EXPECT_EQ(fake::sleeps(), std::vector<long long>(6, 1000));
}

TEST_F(vlan_uhttpd_test, second_lan_section_adds_loopback_and_refreshes_again)
{
    settings("HTTP", true, false, false);
    uci["network.lan.proto"] = "dhcp";
    section(0, "0", "off", nullptr);
    section(1, "0", "off", nullptr);
    fake::script(ifconfig_lan, {"inet addr:10.0.0.2  Mask:255.0.0.0"});
    const std::string refresh =
        "uci set vlan.cfg029c96.ip=10.0.0.2;uci set vlan.cfg029c96.netmask=255.0.0.0;uci commit vlan";
    EXPECT_EQ(run(), (std::vector<std::string>{add_http + "'127.0.0.1:80';" + refresh,
                                               add_http + "'127.0.0.1:80';" + refresh, "uci commit uhttpd",
                                               log_of("HTTP", 80, "127.0.0.1 127.0.0.1 ")}));
}

TEST_F(vlan_uhttpd_test, lan_section_in_use_gets_loopback_and_its_address)
{
    settings("HTTP", true, false, false);
    section(0, "0", "on", "192.168.1.1");
    EXPECT_EQ(run(), (std::vector<std::string>{add_http + "'127.0.0.1:80';" + add_http + "'192.168.1.1:80'",
                                               "uci commit uhttpd", log_of("HTTP", 80, "127.0.0.1 192.168.1.1 ")}));
}

TEST_F(vlan_uhttpd_test, switch_on_odd_web_mode_deletes_and_commits_only)
{
    settings("FTP", true, true, true);
    section(0, "0", "off", nullptr);
    section(1, "10", "on", "10.0.0.1");
    EXPECT_EQ(run(), (std::vector<std::string>{"uci delete uhttpd.main.listen_http;uci delete uhttpd.main.listen_https",
                                               "uci commit uhttpd", log_of("FTP", 80, "127.0.0.1 10.0.0.1 ")}));
}

TEST_F(vlan_uhttpd_test, odd_web_mode_dhcp_refresh_has_no_leading_semicolon)
{
    settings("FTP", true, false, false);
    uci["network.lan.proto"] = "dhcp";
    section(0, "0", "off", nullptr);
    fake::script(ifconfig_lan, {"inet addr:10.0.0.2  Mask:255.0.0.0"});
    EXPECT_EQ(run(), (std::vector<std::string>{
                         "uci set vlan.cfg029c96.ip=10.0.0.2;uci set vlan.cfg029c96.netmask=255.0.0.0;uci commit vlan",
                         "uci commit uhttpd", log_of("FTP", 80, "127.0.0.1 ")}));
}

TEST_F(vlan_uhttpd_test, walk_ends_at_the_first_missing_vlan_id_and_skips_unusable_sections)
{
    settings("HTTP", true, false, false);
    section(0, "10", "on", nullptr);
    section(1, "20", "none", "20.0.0.1");  // "none" holds "on"
    section(2, "30", "off", "30.0.0.1");
    section(4, "50", "on", "50.0.0.1");
    EXPECT_EQ(run(), (std::vector<std::string>{add_http + "'20.0.0.1:80'", "uci commit uhttpd",
                                               log_of("HTTP", 80, "20.0.0.1 ")}));
}

TEST_F(vlan_uhttpd_test, hostile_address_stays_inside_its_quotes)
{
    settings("HTTP", true, false, false);
    section(0, "10", "on", "1.2.3.4';reboot;'");
    EXPECT_EQ(run(), (std::vector<std::string>{add_http + "'1.2.3.4'\\'';reboot;'\\'':80'", "uci commit uhttpd",
                                               log_of("HTTP", 80, "1.2.3.4'\\'';reboot;'\\'' ")}));
}

}  // namespace
