// The configuration store's commands, driven in process on private
// directories: reading, staging, commit, revert and every error path.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

#include "uci_commands.h"
#include "uci_delta.h"
#include "uci_test_support.h"

namespace {

using uci::show_form;
using uci_test::read_file;
using uci_test::write_file;

struct result {
    int status;
    std::string out, err;
};

const char vlan_fixture[] =
    "config vlan\n\toption vlanid '1'\n\toption ip '192.168.1.1'\n\n"
    "config vlan\n\toption vlanid '10'\n\tlist ports 'eth0'\n\tlist ports 'ath0'\n\toption empty ''\n\n"
    "config activation 'activation'\n\toption enabled '1'\n";

// Values that the two forms of show print differently.
const char wireless_fixture[] =
    "config wifi-iface\n\toption ssid 'Bob'\"'\"'s \"net\"'\n\toption mode 'ap'\n"
    "\tlist member 'eth0.10'\n\tlist member 'ath1 x'\n\tlist member 'ath2'\n\toption bridge 'All Others'\n"
    "\toption empty ''\n";

class uci_store : public uci_test::temp_dirs {
protected:
    void SetUp() override
    {
        temp_dirs::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(write_file(conf + "/vlan", vlan_fixture));
        ASSERT_TRUE(write_file(conf + "/wireless", wireless_fixture));
    }

    // The host's settings file never decides the form of show here.
    result uci(std::vector<std::string> args, show_form form = show_form::bare)
    {
        std::vector<std::string> all = {"uci", "-c", conf, "-t", save};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv = uci_test::argv_of(all);
        result r;
        r.status = uci::run_command(static_cast<int>(all.size()), argv.data(), r.out, r.err, form);
        return r;
    }

    std::string out_of(std::vector<std::string> args, show_form form = show_form::bare)
    {
        result r = uci(args, form);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return r.out;
    }

    // Each command succeeds and prints nothing.
    void silently(std::vector<std::vector<std::string>> commands)
    {
        for (const std::vector<std::string>& args : commands)
            EXPECT_EQ(out_of(args), "") << args.at(0) << " " << args.back();
    }

    std::string staged() { return read_file(save + "/vlan"); }
};

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

struct error_case {
    std::vector<std::string> args;
    const char* err;        // exact text, or the start of it when it ends in '*'
    bool usage;
    show_form form = show_form::bare;
};

class uci_errors : public uci_store, public ::testing::WithParamInterface<error_case> {};

TEST_P(uci_errors, report_fail_and_change_nothing)
{
    ASSERT_TRUE(write_file(conf + "/broken", "config t\n\toption a 'x\ny'\n\tbad line\n"));
    out_of({"set", "vlan.activation.staged=1"});
    std::string before = staged();

    result r = uci(GetParam().args, GetParam().form);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "");
    std::string want = GetParam().err;
    if (GetParam().usage) {
        EXPECT_EQ(r.err.rfind("Usage: uci ", 0), 0u) << r.err;
    } else if (!want.empty() && want.back() == '*') {
        EXPECT_EQ(r.err.rfind(want.substr(0, want.size() - 1), 0), 0u) << r.err;
    } else {
        EXPECT_EQ(r.err, want);
    }
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n') == 1, !GetParam().usage && !want.empty());

    EXPECT_EQ(read_file(conf + "/vlan"), vlan_fixture);
    EXPECT_EQ(staged(), before);
    EXPECT_EQ(read_file(save + "/broken"), "<absent>");

    // -q keeps every error text away but not the status.
    std::vector<std::string> quiet = GetParam().args;
    quiet.push_back("-q");
    r = uci(quiet, GetParam().form);
    EXPECT_NE(r.status, 0);
    if (!GetParam().usage) {
        EXPECT_EQ(r.err, "");
    }
}

const char not_found[] = "uci: Entry not found\n";
const char invalid[] = "uci: Invalid argument\n";

INSTANTIATE_TEST_SUITE_P(
    paths, uci_errors,
    ::testing::Values(
        error_case{{"get", "vlan.activation.missing"}, not_found, false},
        error_case{{"get", "vlan.missing.enabled"}, not_found, false},
        error_case{{"get", "vlan.missing"}, not_found, false},
        error_case{{"get", "nothing.a.b"}, not_found, false},
        error_case{{"get", "vlan.@vlan[2].vlanid"}, not_found, false},
        error_case{{"get", "vlan.@vlan[-3]"}, not_found, false},
        error_case{{"get", "vlan.cfg039c96"}, not_found, false},
        error_case{{"get", "vlan"}, invalid, false},
        error_case{{"get", "vlan..x"}, invalid, false},
        error_case{{"get", "vlan.a-b.c"}, invalid, false},
        error_case{{"get", "vlan.a.b=c"}, invalid, false},
        error_case{{"get", "../etc.a.b"}, invalid, false},
        error_case{{"show", "nothing"}, not_found, false},
        error_case{{"show", "vlan.missing"}, not_found, false},
        error_case{{"show", "vlan.activation.missing"}, not_found, false},
        error_case{{"show", "vlan.@vlan[x]"}, invalid, false},
        error_case{{"show", "vlan.@vlan[1].empty"}, not_found, false, show_form::quoted},
        error_case{{"set", "vlan.activation.enabled"}, invalid, false},
        error_case{{"set", "vlan.activation"}, invalid, false},
        error_case{{"set", "vlan.missing.enabled=1"}, not_found, false},
        error_case{{"set", "vlan.@vlan[5].vlanid=1"}, not_found, false},
        error_case{{"set", "vlan.@vlan[5]=vlan"}, not_found, false},
        error_case{{"set", "vlan.new=bad type"}, invalid, false},
        error_case{{"set", "vlan.new="}, invalid, false},
        error_case{{"set", "vlan.bad-name=type"}, invalid, false},
        error_case{{"set", "vlan.activation.bad-opt=1"}, invalid, false},
        error_case{{"set", "vlan=x"}, invalid, false},
        error_case{{"set", "nothing.a.b=1"}, not_found, false},
        error_case{{"delete", "vlan.activation.missing"}, not_found, false},
        error_case{{"delete", "vlan.missing"}, not_found, false},
        error_case{{"delete", "vlan.activation.enabled=1"}, invalid, false},
        error_case{{"add_list", "vlan.activation=x"}, invalid, false},
        error_case{{"add_list", "vlan.missing.l=x"}, not_found, false},
        error_case{{"del_list", "vlan.activation.missing=x"}, not_found, false},
        error_case{{"add", "vlan", "bad type"}, invalid, false},
        error_case{{"add", "nothing", "vlan"}, not_found, false},
        error_case{{"add", "bad/conf", "vlan"}, invalid, false},
        error_case{{"revert", "vlan.@vlan[9]"}, not_found, false},
        error_case{{"commit", "nothing"}, not_found, false},
        error_case{{"commit", "bad.conf"}, invalid, false},
        error_case{{"changes", "nothing"}, not_found, false},
        error_case{{"export", "nothing"}, not_found, false},
        error_case{{"get", "broken.@t[0].a"}, "uci: Parse error (invalid command) at line 4 in *", false},
        error_case{{"set", "broken.@t[0].a=1"}, "uci: Parse error (invalid command) at line 4 in *", false},
        error_case{{"show", "broken"}, "uci: Parse error *", false},
        error_case{{}, "", true},
        error_case{{"bogus"}, "", true},
        error_case{{"get"}, "", true},
        error_case{{"get", "a.b.c", "d"}, "", true},
        error_case{{"set"}, "", true},
        error_case{{"add", "vlan"}, "", true},
        error_case{{"revert"}, "", true},
        error_case{{"commit", "a", "b"}, "", true},
        error_case{{"-x", "get", "vlan.activation.enabled"}, "", true},
        error_case{{"get", "vlan.activation.enabled", "-c"}, "", true}));

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
