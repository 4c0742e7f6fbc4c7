#include "batch.h"
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

TEST_F(toolkit_test, run_batch_mends_the_first_double_semicolon_and_skips_a_leading_one)
{
    std::string batch = ";uci set a.b.c=1;;uci commit a";
    EXPECT_EQ(run_batch(batch), 0);
    std::string plain = "uci set a.b.c=1;uci commit a";
    run_batch(plain);
    std::string two = "a;;b;;c";
    run_batch(two);
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{"uci set a.b.c=1;uci commit a", "uci set a.b.c=1;uci commit a", "a;b;;c"}));
}

TEST_F(toolkit_test, run_batch_text_never_hands_over_a_leading_semicolon)
{
    run_batch_text(";uci set vlan.cfg029c96.netmask=255.255.255.0;uci commit vlan");
    run_batch_text("");
    run_batch_text("uci commit uhttpd");
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{"uci set vlan.cfg029c96.netmask=255.255.255.0;uci commit vlan",
                                        "uci commit uhttpd"}));
}

TEST(batch_append, adds_a_separator_only_after_text)
{
    std::string batch;
    batch_append(batch, "uci delete a.b");
    batch_append(batch, "uci commit a");
    EXPECT_EQ(batch, "uci delete a.b;uci commit a");
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

TEST(echo_command, escapes_quotes_and_flattens_line_breaks)
{
    EXPECT_EQ(echo_command("[s] Running...zelvlan", "/var/log/zelvlan"),
              "echo '[s] Running...zelvlan' >> /var/log/zelvlan");
    EXPECT_EQ(echo_command("it's\nnew", "/var/log/x", true), "echo 'it'\\''s new' > /var/log/x");
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
