// The command line's error paths, driven in process on private
// directories: every failing command reports, fails and changes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "uci_commands.h"
#include "uci_test_support.h"

namespace {

using namespace uci_test;
using uci::show_form;

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

}  // namespace
