#include "handlers.h"

#include "fixture.h"

#include <gtest/gtest.h>

namespace {

using fixture::lines;
using get_wifi_ssid_test = fixture::fake_test;

const std::string ssid_query_0 = R"(uci show wireless | grep "iface\[0\].ssid=")";

// Serves the SSIDs of positions 0..ssids.size()-1.
void serve_ssids(const lines& ssids)
{
    lines store;
    for (std::size_t n = 0; n < ssids.size(); ++n)
        store.push_back("wireless.@wifi-iface[" + std::to_string(n) + "].ssid=" + ssids[n]);
    fake::serve_uci_lines(store);
}

TEST_F(get_wifi_ssid_test, lists_up_to_the_first_position_without_an_ssid)
{
    fake::script(ssid_query_0, {"wireless.@wifi-iface[0].ssid=Main Net"});
    fake::script(R"(uci show wireless | grep "iface\[1\].ssid=")", {"wireless.@wifi-iface[1].ssid=Guest"});
    fake::script(R"(uci show wireless | grep "iface\[3\].ssid=")", {"wireless.@wifi-iface[3].ssid=Late"});
    EXPECT_EQ(main_get_wifi_ssid(0, nullptr), 0);
    EXPECT_EQ(fake::system_commands(), lines{R"(echo '"All Others" "all"' >/var/zelvlan_ssid;)"
                                             R"(echo '"Main Net" "ath0"' >>/var/zelvlan_ssid;)"
                                             R"(echo '"Guest" "ath1"' >>/var/zelvlan_ssid)"});
    EXPECT_EQ(fake::popen_commands(), (lines{ssid_query_0, R"(uci show wireless | grep "iface\[1\].ssid=")",
                                             R"(uci show wireless | grep "iface\[2\].ssid=")"}));
}

// How the store answers, and the one batch that writes the file.
struct list_case {
    const char* name;
    lines ssids;
    bool unstartable;  // the query of position 0 can't be started
    lines printed_at_0;
    std::string batch;
};

using get_wifi_ssid_lists = fixture::fake_table<list_case>;

TEST_P(get_wifi_ssid_lists, writes_the_file_in_one_batch)
{
    const list_case& c = GetParam();
    serve_ssids(c.ssids);
    if (c.unstartable)
        fake::unstartable(ssid_query_0);
    if (!c.printed_at_0.empty())
        fake::script(ssid_query_0, c.printed_at_0);
    EXPECT_EQ(main_get_wifi_ssid(0, nullptr), 0);
    EXPECT_EQ(fake::system_commands(), lines{c.batch});
}

INSTANTIATE_TEST_SUITE_P(
    cases, get_wifi_ssid_lists,
    ::testing::Values(
        list_case{"without_an_ssid_at_zero_all_others_alone", {}, false, {},
                  R"(echo '"All Others" "all"' >/var/zelvlan_ssid)"},
        list_case{"the_text_unknown_ends_the_list", {"A", "unknown", "C"}, false, {},
                  R"(echo '"All Others" "all"' >/var/zelvlan_ssid;echo '"A" "ath0"' >>/var/zelvlan_ssid)"},
        list_case{"a_line_without_ssid_ends_the_list", {}, false, {"wireless.@wifi-iface[0].name=A"},
                  R"(echo '"All Others" "all"' >/var/zelvlan_ssid)"},
        list_case{"a_query_that_cannot_start_ends_the_list", {}, true, {},
                  R"(echo '"All Others" "all"' >/var/zelvlan_ssid)"},
        // Each SSID stays one harmless line of the file.
        list_case{"quote_and_backslash_go_through_printf", {"Bob's \"net\"; reboot"}, false, {},
                  R"(echo '"All Others" "all"' >/var/zelvlan_ssid;)"
                  R"(printf '%s\n' '"Bob'\''s \"net\"; reboot" "ath0"' >>/var/zelvlan_ssid)"},
        list_case{"command_substitution_stays_text", {"$(reboot)`reboot`"}, false, {},
                  R"(echo '"All Others" "all"' >/var/zelvlan_ssid;)"
                  R"(echo '"$(reboot)`reboot`" "ath0"' >>/var/zelvlan_ssid)"},
        list_case{"backslash", {"back\\slash"}, false, {},
                  R"(echo '"All Others" "all"' >/var/zelvlan_ssid;)"
                  R"(printf '%s\n' '"back\\slash" "ath0"' >>/var/zelvlan_ssid)"},
        list_case{"lone_quote", {"'"}, false, {},
                  R"(echo '"All Others" "all"' >/var/zelvlan_ssid;echo '"'\''" "ath0"' >>/var/zelvlan_ssid)"},
        list_case{"semicolons", {"a;;b"}, false, {},
                  R"(echo '"All Others" "all"' >/var/zelvlan_ssid;echo '"a;;b" "ath0"' >>/var/zelvlan_ssid)"}),
    [](const ::testing::TestParamInfo<list_case>& info) { return std::string(info.param.name); });

TEST_F(get_wifi_ssid_test, lists_positions_zero_to_thirty_two_of_forty)
{
    lines ssids;
    std::string expected = R"(echo '"All Others" "all"' >/var/zelvlan_ssid)";
    for (int n = 0; n < 40; ++n) {
        // Long names: the list is far beyond any small buffer.
        ssids.push_back("network-with-a-rather-long-name-number-" + std::to_string(n));
        if (n <= 32)
            expected += ";echo '\"" + ssids.back() + "\" \"ath" + std::to_string(n) + "\"' >>/var/zelvlan_ssid";
    }
    serve_ssids(ssids);
    main_get_wifi_ssid(0, nullptr);
    EXPECT_EQ(fake::system_commands(), lines{expected});
    EXPECT_EQ(fake::popen_commands().size(), 33u);
}

}  // namespace
