#include "uci_read.h"

#include "fake_system.h"

#include <gtest/gtest.h>

namespace {

class uci_read_test : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
};

TEST_F(uci_read_test, uci_get_takes_the_first_line)
{
    fake::script("uci get network.lan.ipaddr -q", {"192.168.1.1", "ignored"});
    std::string value = "stale";
    EXPECT_EQ(uci_get("network.lan.ipaddr", value), 0);
    EXPECT_EQ(value, "192.168.1.1");
    EXPECT_EQ(fake::popen_commands(), std::vector<std::string>{"uci get network.lan.ipaddr -q"});
}

TEST_F(uci_read_test, uci_get_tells_missing_from_empty)
{
    fake::script("uci get vlan.@vlan[2].ip -q", {""});
    std::string value = "stale";
    EXPECT_EQ(uci_get("vlan.@vlan[2].ip", value), 0);
    EXPECT_EQ(value, "");

    value = "stale";
    EXPECT_EQ(uci_get("vlan.@vlan[3].ip", value), -1);
    EXPECT_EQ(value, "");

    fake::unstartable("uci get a.b.c -q");
    EXPECT_EQ(uci_get("a.b.c", value), -1);
}

TEST_F(uci_read_test, uci_get_delivers_a_value_with_equals_whole)
{
    fake::script("uci get a.b.c -q", {"a=b"});
    std::string value;
    uci_get("a.b.c", value);
    EXPECT_EQ(value, "a=b");
}

TEST_F(uci_read_test, hostile_keys_are_quoted)
{
    std::string value;
    uci_get("network.vlan10;reboot.proto", value);
    EXPECT_EQ(fake::popen_commands(), std::vector<std::string>{"uci get 'network.vlan10;reboot.proto' -q"});
}

struct show_case {
    const char* key;
    std::vector<std::string> printed;
    int result;
    const char* value;
};

class uci_show_value_test : public ::testing::TestWithParam<show_case> {
protected:
    void SetUp() override { fake::reset(); }
};

TEST_P(uci_show_value_test, reads_the_value_after_the_marker)
{
    const auto& c = GetParam();
    fake::script(std::string("uci show ") + c.key + " -q", c.printed);
    std::string value = "stale";
    EXPECT_EQ(uci_show_value(c.key, value), c.result);
    EXPECT_EQ(value, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    examples, uci_show_value_test,
    ::testing::Values(show_case{"network.lan.ipaddr", {"network.lan.ipaddr=192.168.1.1"}, 0, "192.168.1.1"},
                      show_case{"network.lan.ipaddr", {"network.lan.netmask=255.0.0.0"}, -1, ""},
                      show_case{"network.lan.ipaddr", {}, -1, ""},
                      show_case{"a.b.c", {"a.b.c=a=b"}, 0, "a"},
                      show_case{"zelmaxtxpower.dbname.enabled", {"zelmaxtxpower.dbname.enabled=1"}, 0, "1"},
                      // a last line without a line feed keeps its last character
                      show_case{"x.y.z", {"x.y.z=12"}, 0, "12"},
                      show_case{"zelmaxtxpower.dbname.enabled", {"zelmaxtxpower.dbname.enabled='1'"}, 0, "1"},
                      show_case{"a.b.c", {"a.b.c='a=b'"}, 0, "a"}));

// What a store prints after "key=", in either form, and what is read.
TEST(show_value, reads_bare_and_quoted_forms_alike)
{
    const struct {
        const char* printed;
        const char* value;
    } cases[] = {
        {"Home", "Home"},
        {"'Home'", "Home"},
        {"", ""},
        {"''", ""},
        {"Bob's \"net\"", "Bob's \"net\""},
        {"'Bob'\\''s \"net\"'", "Bob's \"net\""},
        {"'a'\\'''", "a'"},
        {"''\\'''", "'"},
        {"'All Others'", "All Others"},
        {"'eth0.10' 'ath1 x' 'ath2'", "eth0.10 ath1 x ath2"},
        {"'a=b; $(x) `y` \\z'", "a=b; $(x) `y` \\z"},
        // not a complete quoted form: taken as it is
        {"'Home", "'Home"},
        {"'a'b", "'a'b"},
        {"'a'  'b'", "'a'  'b'"},
        {"'a' ", "'a' "},
        {"x 'y'", "x 'y'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(show_value(c.printed), c.value) << c.printed;
}

TEST_F(uci_read_test, wifi_ssid_at_reads_everything_after_the_first_ssid)
{
    fake::script("uci show wireless | grep \"iface\\[0\\].ssid=\"", {"wireless.@wifi-iface[0].ssid='Bob'\\''s'"});
    fake::script("uci show wireless | grep \"iface\\[1\\].ssid=\"", {"wireless.@wifi-iface[1].ssid=a ssid=b"});
    EXPECT_EQ(wifi_ssid_at(0), "Bob's");
    EXPECT_EQ(wifi_ssid_at(1), "a ssid=b");
    EXPECT_EQ(wifi_ssid_at(2), "unknown");
}

}  // namespace
