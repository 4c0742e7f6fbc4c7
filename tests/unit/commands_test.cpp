#include "commands.h"
#include "quote.h"
#include "run_log.h"
#include "sleep.h"
#include "system.h"

#include "fake_system.h"

#include <gtest/gtest.h>

namespace {

class toolkit_test : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
};

TEST_F(toolkit_test, a_batch_goes_to_the_shell_in_one_call_and_only_when_it_holds_commands)
{
    command_batch batch;
    run_batch(batch);
    uci_set(batch, "vlan.cfg029c96.netmask", "255.255.255.0");
    uci_commit(batch, "vlan");
    run_batch(batch);
    EXPECT_TRUE(batch.empty());
    uci_commit(batch, "uhttpd");
    run_batch(batch);
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{"uci set vlan.cfg029c96.netmask=255.255.255.0;uci commit vlan",
                                        "uci commit uhttpd"}));
}

// Every value a command takes, ordinary and hostile, in one batch.
TEST(command_writer, writes_each_command_with_its_values_quoted)
{
    const std::string hostile = "Bob's \"net\"; reboot";
    command_batch batch;
    uci_set(batch, "vlan.@vlan[2].ip", "192.168.10.1");
    uci_set(batch, "network.vlan10.ipaddr", "$(reboot)");
    uci_set_members(batch, "network.vlan10.ifname", "eth0.10");
    uci_add_list(batch, "uhttpd.main.listen_http", "it's:80");
    uci_delete(batch, "network.vlan1;reboot");
    uci_commit(batch, "network");
    bridge_add_interface(batch, "br-vlansw0", "ath0");
    vlan_ingress_map(batch, "eth0.10", 5, 0);
    vlan_egress_map(batch, "a b", 7, 5);
    append_line(batch, "it's\nnew", "/var/log/x");
    replace_with_line(batch, "[s] x", "/var/log/x");
    write_list_line(batch, hostile, "/var/zelvlan_ssid", true);
    write_list_line(batch, "a\\b", "/var/zelvlan_ssid", false);
    set_tx_power(batch, "ath0", 30);
    pause_seconds(batch, 1);
    record_tx_power(batch, "ath0", true);
    record_tx_power(batch, "x;reboot", false);
    EXPECT_TRUE(restart_hostapd(batch, "/var/run/hostapd-ath0.conf", "/var/run/wifi-ath0.pid", "vlan10"));
    EXPECT_TRUE(restart_wpa_supplicant(batch, "ath1", "/var/run/wpa_supplicant-ath1.conf", "/var/run/wifi-ath1.pid",
                                       "vlansw1"));
    EXPECT_FALSE(restart_hostapd(batch, "/c", "/p", "x/g;s/y"));
    EXPECT_FALSE(restart_wpa_supplicant(batch, "ath1", "/c", "/p", "a b"));

    // One shell call: the commands joined by ';'.
    EXPECT_EQ(batch.text,
              "uci set vlan.@vlan[2].ip=192.168.10.1;"
              "uci set network.vlan10.ipaddr='$(reboot)';"
              "uci set network.vlan10.ifname='eth0.10';"
              "uci add_list uhttpd.main.listen_http='it'\\''s:80';"
              "uci delete 'network.vlan1;reboot';"
              "uci commit network;"
              "brctl addif br-vlansw0 ath0;"
              "vconfig set_ingress_map eth0.10 5 0;"
              "vconfig set_egress_map 'a b' 7 5;"
              "echo 'it'\\''s new' >> /var/log/x;"
              "echo '[s] x' > /var/log/x;"
              "echo 'Bob'\\''s \"net\"; reboot' >/var/zelvlan_ssid;"
              "printf '%s\\n' 'a\\b' >>/var/zelvlan_ssid;"
              "iwconfig ath0 txpower 30;"
              "sleep 1;"
              "echo \"ath0:$(iwconfig ath0 | grep Tx-Power | cut -d= -f 2 | awk '{print $1}')\" > /var/max_txpower_ath0;"
              "echo \"\"'x;reboot'\":$(iwconfig 'x;reboot' | grep Tx-Power | cut -d= -f 2 | awk '{print $1}')\" > " "/var/max_txpower;"
              "sed -i \"s/bridge=br-lan/bridge=br-vlan10/g\" /var/run/hostapd-ath0.conf;"
              "kill `cat /var/run/wifi-ath0.pid`;"
              "hostapd -P /var/run/wifi-ath0.pid -B /var/run/hostapd-ath0.conf;"
              "kill `cat /var/run/wifi-ath1.pid`;"
              "wpa_supplicant -b br-vlansw1 -B -P /var/run/wifi-ath1.pid -D athr -i ath1 -c /var/run/wpa_supplicant-ath1.conf");
}

struct quote_case {
    const char* value;
    const char* quoted;
};

class shell_quote_test : public ::testing::TestWithParam<quote_case> {};

TEST_P(shell_quote_test, keeps_ordinary_values_bare_and_neutralises_the_rest)
{
    EXPECT_EQ(shell_quote(GetParam().value), GetParam().quoted);
}

INSTANTIATE_TEST_SUITE_P(
    values, shell_quote_test,
    ::testing::Values(quote_case{"192.168.10.1", "192.168.10.1"},
                      quote_case{"255.255.255.0", "255.255.255.0"},
                      quote_case{"br-vlan10", "br-vlan10"},
                      quote_case{"a_b-c:d/e@f%g+h,i=j", "a_b-c:d/e@f%g+h,i=j"},
                      quote_case{"", "''"},
                      quote_case{"Bob's \"net\"; reboot", "'Bob'\\''s \"net\"; reboot'"},
                      quote_case{"$(reboot)", "'$(reboot)'"},
                      quote_case{"`reboot`", "'`reboot`'"},
                      quote_case{"10;reboot", "'10;reboot'"},
                      quote_case{"a\nb", "'a\nb'"},
                      quote_case{"a b", "'a b'"},
                      quote_case{"*", "'*'"}));

TEST(shell_quote_key, allows_anonymous_section_syntax)
{
    EXPECT_EQ(shell_quote_key("vlan.@vlan[2].ip"), "vlan.@vlan[2].ip");
    EXPECT_EQ(shell_quote_key("network.vlan$(x).proto"), "'network.vlan$(x).proto'");
}

TEST(log_line, puts_the_stamp_in_brackets)
{
    EXPECT_EQ(log_line("07-12-2026 02:28:32.004120", "x"), "[07-12-2026 02:28:32.004120] x");
}

TEST_F(toolkit_test, sleep_ms_splits_seconds_and_resumes_after_interruptions)
{
    EXPECT_EQ(sleep_ms(1500), 1);
    EXPECT_EQ(fake::sleeps(), std::vector<long long>{1500});
    EXPECT_EQ(sleep_ms(0), 1);
    fake::interrupt_sleeps(2);
    fake::set_clock(100, 0);
    sleep_ms(1000);
    // interrupted twice, each after half of what was left, then the rest
    EXPECT_EQ(fake::clock_now().tv_sec, 101);
    EXPECT_EQ(fake::clock_now().tv_usec, 0);
}

TEST_F(toolkit_test, file_exists_answers_from_the_seam)
{
    fake::add_file("/var/run/wifi-ath0.pid");
    EXPECT_EQ(file_exists("/var/run/wifi-ath0.pid"), 0);
    EXPECT_EQ(file_exists("/var/run/wifi-ath1.pid"), -1);
}

}  // namespace
