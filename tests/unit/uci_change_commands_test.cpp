// The commands that change the store, driven in process on private
// directories: staging, commit and revert.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "uci_commands.h"
#include "uci_delta.h"
#include "uci_test_support.h"

namespace {

using namespace uci_test;
using uci::show_form;

TEST_F(uci_store, changes_are_staged_seen_and_committed)
{
    silently({{"set", "vlan.@vlan[1].ip=192.168.10.1"},
              {"set", "vlan.lan=interface"},
              {"add_list", "vlan.lan.dns=1.1.1.1"},
              {"add_list", "vlan.lan.dns=8.8.8.8"},
              {"delete", "vlan.@vlan[0].ip"}});
    EXPECT_EQ(read_file(conf + "/vlan"), vlan_fixture);

    EXPECT_EQ(out_of({"get", "vlan.cfg029c96.ip"}), "192.168.10.1\n");
    EXPECT_EQ(out_of({"show", "vlan.lan"}), "vlan.lan=interface\nvlan.lan.dns=1.1.1.1 8.8.8.8\n");
    EXPECT_EQ(uci({"get", "vlan.@vlan[0].ip"}).status, 1);
    EXPECT_EQ(out_of({"changes", "vlan"}),
              "vlan.cfg029c96.ip='192.168.10.1'\nvlan.lan=interface\nvlan.lan.dns+='1.1.1.1'\n"
              "vlan.lan.dns+='8.8.8.8'\n-vlan.cfg019c96.ip\n");
    EXPECT_EQ(out_of({"changes"}), out_of({"changes", "vlan"}));

    EXPECT_EQ(out_of({"commit", "vlan"}), "");
    EXPECT_EQ(out_of({"changes", "vlan"}), "");
    EXPECT_EQ(read_file(conf + "/vlan"),
              "config vlan\n\toption vlanid '1'\n\n"
              "config vlan\n\toption vlanid '10'\n\tlist ports 'eth0'\n\tlist ports 'ath0'\n\toption empty ''\n"
              "\toption ip '192.168.10.1'\n\n"
              "config activation 'activation'\n\toption enabled '1'\n\n"
              "config interface 'lan'\n\tlist dns '1.1.1.1'\n\tlist dns '8.8.8.8'\n");
    // A second commit has nothing to do and leaves the file alone.
    struct stat before, after;
    ASSERT_EQ(stat((conf + "/vlan").c_str(), &before), 0);
    EXPECT_EQ(out_of({"commit"}), "");
    ASSERT_EQ(stat((conf + "/vlan").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST_F(uci_store, add_prints_the_generated_name_that_keys_reach)
{
    ASSERT_TRUE(write_file(conf + "/vlan", "config vlan\n\toption vlanid '1'\n"));
    EXPECT_EQ(out_of({"add", "vlan", "vlan"}), "cfg029c96\n");
    EXPECT_EQ(out_of({"set", "vlan.cfg029c96.ip=192.168.1.1"}), "");
    EXPECT_EQ(out_of({"add", "vlan", "vlan"}), "cfg039c96\n");
    EXPECT_EQ(out_of({"show", "vlan.@vlan[-1]"}), "vlan.@vlan[2]=vlan\n");
    EXPECT_EQ(out_of({"commit", "vlan"}), "");
    EXPECT_EQ(read_file(conf + "/vlan"),
              "config vlan\n\toption vlanid '1'\n\nconfig vlan\n\toption ip '192.168.1.1'\n\nconfig vlan\n");
    EXPECT_EQ(out_of({"get", "vlan.cfg029c96.ip"}), "192.168.1.1\n");
    EXPECT_EQ(out_of({"get", "vlan.@vlan[1].ip"}), "192.168.1.1\n");
}

TEST_F(uci_store, set_section_creates_keeps_or_retypes)
{
    EXPECT_EQ(out_of({"set", "vlan.activation=activation"}), "");
    EXPECT_EQ(out_of({"changes", "vlan"}), "");  // kept as it is: nothing to stage
    EXPECT_EQ(out_of({"set", "vlan.@vlan[0]=other"}), "");
    EXPECT_EQ(out_of({"get", "vlan.cfg019c96"}), "other\n");
    EXPECT_EQ(out_of({"get", "vlan.@vlan[0].vlanid"}), "10\n");
    EXPECT_EQ(out_of({"set", "vlan.vlan5=interface"}), "");
    EXPECT_EQ(out_of({"set", "vlan.vlan5.ifname=eth0.5"}), "");
    EXPECT_EQ(out_of({"get", "vlan.vlan5.ifname"}), "eth0.5\n");
}

TEST_F(uci_store, lists_and_deletions)
{
    EXPECT_EQ(out_of({"add_list", "vlan.@vlan[0].ip=10.0.0.1"}), "");
    EXPECT_EQ(out_of({"get", "vlan.@vlan[0].ip"}), "192.168.1.1 10.0.0.1\n");
    EXPECT_EQ(out_of({"del_list", "vlan.@vlan[1].ports=eth0"}), "");
    EXPECT_EQ(out_of({"get", "vlan.@vlan[1].ports"}), "ath0\n");
    silently({{"del_list", "vlan.@vlan[1].ports=nothere"}, {"del_list", "vlan.@vlan[1].ports=ath0"}});
    EXPECT_EQ(uci({"get", "vlan.@vlan[1].ports"}).status, 1);
    silently({{"set", "vlan.@vlan[1].vlanid=20"}, {"delete", "vlan.@vlan[0]"}});
    EXPECT_EQ(out_of({"get", "vlan.@vlan[0].vlanid"}), "20\n");
    EXPECT_EQ(out_of({"commit", "vlan"}), "");
    EXPECT_EQ(read_file(conf + "/vlan"),
              "config vlan\n\toption vlanid '20'\n\toption empty ''\n\n"
              "config activation 'activation'\n\toption enabled '1'\n");
}

TEST_F(uci_store, revert_drops_staged_changes)
{
    silently({{"set", "vlan.@vlan[0].ip=1.1.1.1"},
              {"set", "vlan.@vlan[0].vlanid=7"},
              {"set", "vlan.@vlan[1].vlanid=8"},
              {"set", "vlan.activation.enabled=0"}});
    EXPECT_EQ(out_of({"revert", "vlan.@vlan[0].ip"}), "");
    EXPECT_EQ(out_of({"get", "vlan.@vlan[0].ip"}), "192.168.1.1\n");
    EXPECT_EQ(out_of({"get", "vlan.@vlan[0].vlanid"}), "7\n");
    EXPECT_EQ(out_of({"revert", "vlan.cfg019c96"}), "");
    EXPECT_EQ(out_of({"changes", "vlan"}), "vlan.cfg029c96.vlanid='8'\nvlan.activation.enabled='0'\n");
    EXPECT_EQ(out_of({"revert", "vlan"}), "");
    EXPECT_EQ(out_of({"changes", "vlan"}), "");
    EXPECT_EQ(out_of({"commit", "vlan"}), "");
    EXPECT_EQ(read_file(conf + "/vlan"), vlan_fixture);
}

TEST_F(uci_store, hostile_values_are_stored_and_printed_whole)
{
    const std::string value = "Bob's \"net\"; $(reboot) `id`\nsecond line\\";
    EXPECT_EQ(out_of({"set", "vlan.activation.ssid=" + value}), "");
    EXPECT_EQ(out_of({"add_list", "vlan.activation.l=" + value}), "");
    EXPECT_EQ(out_of({"get", "vlan.activation.ssid"}), value + "\n");
    EXPECT_EQ(out_of({"commit", "vlan"}), "");
    EXPECT_EQ(out_of({"get", "vlan.activation.ssid"}), value + "\n");
    EXPECT_EQ(out_of({"get", "vlan.activation.l"}), value + "\n");
    std::string big(100000, 'x');
    EXPECT_EQ(out_of({"set", "vlan.activation.big=" + big}), "");
    EXPECT_EQ(out_of({"commit", "vlan"}), "");
    EXPECT_EQ(out_of({"get", "vlan.activation.big"}), big + "\n");
}

TEST_F(uci_store, commit_applies_changes_to_the_file_as_it_is_now)
{
    out_of({"set", "vlan.activation.mine=1"});
    // Another process committed meanwhile.
    ASSERT_TRUE(write_file(conf + "/vlan", std::string(vlan_fixture) + "\toption theirs '2'\n"));
    EXPECT_EQ(out_of({"commit", "vlan"}), "");
    EXPECT_EQ(out_of({"get", "vlan.activation.theirs"}), "2\n");
    EXPECT_EQ(out_of({"get", "vlan.activation.mine"}), "1\n");
}

TEST_F(uci_store, commit_keeps_the_file_mode)
{
    ASSERT_EQ(chmod((conf + "/vlan").c_str(), 0640), 0);
    out_of({"set", "vlan.activation.enabled=0"});
    out_of({"commit", "vlan"});
    struct stat st;
    ASSERT_EQ(stat((conf + "/vlan").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(uci_store, commit_stopped_after_its_rename_is_not_applied_twice)
{
    out_of({"add_list", "vlan.@vlan[1].ports=ath1"});
    out_of({"add", "vlan", "vlan"});
    std::string pending = staged();
    out_of({"commit", "vlan"});
    std::string committed = read_file(conf + "/vlan");
    // What a commit killed between rename and clearing leaves behind.
    struct stat st;
    ASSERT_EQ(stat((conf + "/vlan").c_str(), &st), 0);
    uci::append_marker_line(pending, uci::identity_of(st));
    ASSERT_TRUE(write_file(save + "/vlan", pending));

    EXPECT_EQ(out_of({"changes", "vlan"}), "");
    EXPECT_EQ(out_of({"get", "vlan.@vlan[1].ports"}), "eth0 ath0 ath1\n");
    out_of({"set", "vlan.activation.enabled=0"});
    out_of({"commit", "vlan"});
    EXPECT_EQ(out_of({"get", "vlan.@vlan[1].ports"}), "eth0 ath0 ath1\n");
    EXPECT_EQ(out_of({"get", "vlan.activation.enabled"}), "0\n");
    EXPECT_EQ(out_of({"show", "vlan.@vlan[-1]"}), "vlan.@vlan[2]=vlan\n");
    EXPECT_EQ(read_file(conf + "/vlan").size(), committed.size());
}

TEST_F(uci_store, marker_of_another_file_keeps_the_changes)
{
    out_of({"set", "vlan.activation.enabled=0"});
    std::string pending = staged();
    // A commit stopped before its rename: the marker names the temporary
    // file, which never became the config, and the file is left over.
    uci::file_identity other;
    other.ino = 1;
    uci::append_marker_line(pending, other);
    ASSERT_TRUE(write_file(save + "/vlan", pending + "set cfg019c96 cut 'half"));
    ASSERT_TRUE(write_file(conf + "/.vlan.uci-Ab12Cd", "partial"));
    EXPECT_EQ(out_of({"get", "vlan.activation.enabled"}), "0\n");
    out_of({"set", "vlan.activation.more=1"});
    EXPECT_EQ(out_of({"commit", "vlan"}), "");
    EXPECT_EQ(read_file(conf + "/.vlan.uci-Ab12Cd"), "<absent>");
    EXPECT_EQ(out_of({"get", "vlan.activation.enabled"}), "0\n");
    EXPECT_EQ(out_of({"get", "vlan.activation.more"}), "1\n");
    EXPECT_EQ(uci({"get", "vlan.@vlan[0].cut"}).status, 1);
}

TEST_F(uci_store, save_directory_is_made_when_missing)
{
    save = root + "/deep/er/save";
    out_of({"set", "vlan.activation.enabled=0"});
    EXPECT_NE(staged(), "<absent>");
    out_of({"commit"});
    EXPECT_EQ(out_of({"get", "vlan.activation.enabled"}), "0\n");
}

TEST_F(uci_store, handles_a_500_section_config)
{
    std::string text;
    for (int i = 0; i < 500; ++i)
        text += "config vlan\n\toption vlanid '" + std::to_string(i) + "'\n\tlist ports 'eth0'\n\n";
    text += "config interface 'lan'\n\toption proto 'static'\n";
    ASSERT_TRUE(write_file(conf + "/big", text));
    EXPECT_EQ(out_of({"get", "big.@vlan[499].vlanid"}), "499\n");
    EXPECT_EQ(out_of({"get", "big.cfg1f49c96.vlanid"}), "499\n");
    EXPECT_EQ(out_of({"get", "big.@vlan[-500].vlanid"}), "0\n");
    std::string shown = out_of({"show", "big"});
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 500 * 3 + 2);
    EXPECT_NE(shown.find("big.@vlan[321].vlanid=321\n"), std::string::npos);
    EXPECT_EQ(out_of({"add", "big", "vlan"}), "cfg1f69c96\n");
    out_of({"set", "big.@vlan[250].vlanid=x"});
    out_of({"commit", "big"});
    EXPECT_EQ(out_of({"get", "big.@vlan[500]"}), "vlan\n");
    EXPECT_EQ(out_of({"get", "big.@vlan[250].vlanid"}), "x\n");
    EXPECT_EQ(out_of({"get", "big.lan.proto"}), "static\n");
}
TEST_F(uci_store, commit_of_a_broken_config_keeps_its_staged_changes)
{
    out_of({"set", "vlan.activation.enabled=0"});
    std::string before = staged();
    ASSERT_TRUE(write_file(conf + "/vlan", "config t\n\toption o 'open\n"));
    result r = uci({"commit", "vlan"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("uci: Parse error (unterminated quote) at line 2 in ", 0), 0u) << r.err;
    EXPECT_EQ(staged(), before);
    EXPECT_EQ(read_file(conf + "/vlan"), "config t\n\toption o 'open\n");
}

}  // namespace
