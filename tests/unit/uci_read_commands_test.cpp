// The commands that read, driven in process on private directories: get,
// show in either form, export, and the settings file that picks the form.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

#include "uci_commands.h"
#include "uci_test_support.h"

namespace {

using namespace uci_test;
using uci::show_form;

struct read_case {
    std::vector<std::string> args;
    std::string out;
    show_form form = show_form::bare;
};

class uci_reads : public uci_store, public ::testing::WithParamInterface<read_case> {};

TEST_P(uci_reads, print_values)
{
    EXPECT_EQ(out_of(GetParam().args, GetParam().form), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    outputs, uci_reads,
    ::testing::Values(
        read_case{{"get", "vlan.@vlan[0].ip"}, "192.168.1.1\n"},
        read_case{{"get", "vlan.@vlan[1].ports"}, "eth0 ath0\n"},
        read_case{{"get", "vlan.@vlan[-1].vlanid"}, "10\n"},
        read_case{{"get", "vlan.cfg029c96.vlanid"}, "10\n"},
        read_case{{"get", "vlan.cfg019c96"}, "vlan\n"},
        read_case{{"get", "vlan.activation"}, "activation\n"},
        read_case{{"get", "vlan.@vlan[1].empty"}, "\n"},
        read_case{{"get", "vlan.activation.enabled", "-q"}, "1\n"},
        read_case{{"-q", "get", "vlan.activation.enabled"}, "1\n"},
        read_case{{"show", "vlan.@vlan[1].ports"}, "vlan.@vlan[1].ports=eth0 ath0\n"},
        read_case{{"show", "vlan.activation.enabled", "-q"}, "vlan.activation.enabled=1\n"},
        read_case{{"show", "vlan.cfg029c96"},
                  "vlan.@vlan[1]=vlan\nvlan.@vlan[1].vlanid=10\nvlan.@vlan[1].ports=eth0 ath0\n"
                  "vlan.@vlan[1].empty=\n"},
        read_case{{"show", "vlan"},
                  "vlan.@vlan[0]=vlan\nvlan.@vlan[0].vlanid=1\nvlan.@vlan[0].ip=192.168.1.1\n"
                  "vlan.@vlan[1]=vlan\nvlan.@vlan[1].vlanid=10\nvlan.@vlan[1].ports=eth0 ath0\n"
                  "vlan.@vlan[1].empty=\nvlan.activation=activation\nvlan.activation.enabled=1\n"},
        read_case{{"export", "vlan"}, std::string("package vlan\n\n") + vlan_fixture},
        read_case{{"show", "wireless"},
                  "wireless.@wifi-iface[0]=wifi-iface\nwireless.@wifi-iface[0].ssid=Bob's \"net\"\n"
                  "wireless.@wifi-iface[0].mode=ap\nwireless.@wifi-iface[0].member=eth0.10 ath1 x ath2\n"
                  "wireless.@wifi-iface[0].bridge=All Others\nwireless.@wifi-iface[0].empty=\n"},
        // The quoted form: every value in single quotes, an embedded one as
        // '\'', each item of a list quoted, an empty option left out.
        read_case{{"show", "wireless"},
                  "wireless.@wifi-iface[0]=wifi-iface\nwireless.@wifi-iface[0].ssid='Bob'\\''s \"net\"'\n"
                  "wireless.@wifi-iface[0].mode='ap'\nwireless.@wifi-iface[0].member='eth0.10' 'ath1 x' 'ath2'\n"
                  "wireless.@wifi-iface[0].bridge='All Others'\n",
                  show_form::quoted},
        read_case{{"show", "vlan.@vlan[1].ports"}, "vlan.@vlan[1].ports='eth0' 'ath0'\n", show_form::quoted},
        read_case{{"show", "vlan.activation"}, "vlan.activation=activation\nvlan.activation.enabled='1'\n",
                  show_form::quoted},
        read_case{{"get", "wireless.@wifi-iface[0].empty"}, "\n", show_form::quoted}));

TEST_F(uci_store, show_without_argument_lists_every_config_and_skips_others)
{
    ASSERT_TRUE(write_file(conf + "/a-first", "config x 'y'\n"));
    ASSERT_TRUE(write_file(conf + "/.vlan.uci-abcdef", "junk junk\n"));
    ASSERT_TRUE(write_file(conf + "/bad.name", "junk junk\n"));
    ASSERT_EQ(mkdir((conf + "/subdir").c_str(), 0755), 0);
    std::string out = out_of({"show"});
    EXPECT_EQ(out.substr(0, 22), "a-first.y=x\nvlan.@vlan");
    EXPECT_NE(out.find("vlan.activation.enabled=1\n"), std::string::npos);
    EXPECT_EQ(out.find("junk"), std::string::npos);
}

TEST_F(uci_store, show_of_every_config_goes_on_past_a_broken_one)
{
    ASSERT_TRUE(write_file(conf + "/a", "bad\n"));
    result r = uci({"show"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("vlan.activation.enabled=1\n"), std::string::npos);
    EXPECT_EQ(r.err.rfind("uci: Parse error (invalid command) at line 1 in ", 0), 0u);
}

// The device's settings file picks the form of show; tests read a private
// copy of it, never the host's.
struct settings_case {
    const char* text;  // null: no file
    show_form form;
};

class uci_settings : public uci_test::temp_dirs, public ::testing::WithParamInterface<settings_case> {};

TEST_P(uci_settings, select_the_form_of_show)
{
    const std::string path = root + "/uci.conf";
    if (GetParam().text) {
        ASSERT_TRUE(write_file(path, GetParam().text));
    }
    EXPECT_EQ(uci::show_form_in(path), GetParam().form);
}

INSTANTIATE_TEST_SUITE_P(
    files, uci_settings,
    ::testing::Values(settings_case{nullptr, show_form::bare},
                      settings_case{"", show_form::bare},
                      settings_case{"show_form quoted\n", show_form::quoted},
                      settings_case{"show_form quoted", show_form::quoted},
                      settings_case{"# the store of a current base\nshow_form quoted\n", show_form::quoted},
                      settings_case{"show_form bare\n", show_form::bare},
                      settings_case{"show_form quoted \n", show_form::bare},
                      settings_case{" show_form quoted\n", show_form::bare},
                      settings_case{"show_form  quoted\n", show_form::bare}));

class uci_settings_file : public uci_test::temp_dirs {};

TEST_F(uci_settings_file, that_cannot_be_read_leaves_show_bare)
{
    const std::string path = root + "/uci.conf";
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    EXPECT_EQ(uci::show_form_in(path), show_form::bare);
}

}  // namespace
