#include "handlers.h"

#include "fake_system.h"

#include <gtest/gtest.h>

namespace {

std::string ssid_query(int n)
{
    return "uci show wireless | grep \"iface\\[" + std::to_string(n) + "\\].ssid=\"";
}

// Serves the SSIDs of positions 0..ssids.size()-1.
void serve_ssids(const std::vector<std::string>& ssids)
{
    fake::set_responder([ssids](const std::string& cmd) -> std::vector<std::string> {
        for (std::size_t n = 0; n < ssids.size(); ++n)
            if (cmd == ssid_query(static_cast<int>(n)))
                return {"wireless.@wifi-iface[" + std::to_string(n) + "].ssid=" + ssids[n]};
        return {};
    });
}

const std::string head = "echo '\"All Others\" \"all\"' >/var/zelvlan_ssid";

std::string entry(const std::string& ssid, int n)
{
    return ";echo '\"" + ssid + "\" \"ath" + std::to_string(n) + "\"' >>/var/zelvlan_ssid";
}

class get_wifi_ssid_test : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
};

TEST_F(get_wifi_ssid_test, lists_up_to_the_first_position_without_an_ssid)
{
    fake::script(ssid_query(0), {"wireless.@wifi-iface[0].ssid=Main Net"});
    fake::script(ssid_query(1), {"wireless.@wifi-iface[1].ssid=Guest"});
    fake::script(ssid_query(3), {"wireless.@wifi-iface[3].ssid=Late"});
    EXPECT_EQ(main_get_wifi_ssid(0, nullptr), 0);
    EXPECT_EQ(fake::system_commands(), std::vector<std::string>{head + entry("Main Net", 0) + entry("Guest", 1)});
    EXPECT_EQ(fake::popen_commands(), (std::vector<std::string>{ssid_query(0), ssid_query(1), ssid_query(2)}));
}

TEST_F(get_wifi_ssid_test, without_an_ssid_at_zero_the_file_holds_all_others_alone)
{
    EXPECT_EQ(main_get_wifi_ssid(0, nullptr), 0);
    EXPECT_EQ(fake::system_commands(), std::vector<std::string>{head});
}

TEST_F(get_wifi_ssid_test, the_text_unknown_and_a_line_without_ssid_end_the_list)
{
    serve_ssids({"A", "unknown", "C"});
    main_get_wifi_ssid(0, nullptr);
    EXPECT_EQ(fake::system_commands(), std::vector<std::string>{head + entry("A", 0)});

    fake::reset();
    fake::script(ssid_query(0), {"wireless.@wifi-iface[0].name=A"});
    main_get_wifi_ssid(0, nullptr);
    EXPECT_EQ(fake::system_commands(), std::vector<std::string>{head});

    fake::reset();
    fake::unstartable(ssid_query(0));
    main_get_wifi_ssid(0, nullptr);
    EXPECT_EQ(fake::system_commands(), std::vector<std::string>{head});
}

TEST_F(get_wifi_ssid_test, lists_positions_zero_to_thirty_two_of_forty)
{
    std::vector<std::string> ssids;
    std::string expected = head;
    for (int n = 0; n < 40; ++n) {
        // Long names: the list is far beyond any small buffer.
        ssids.push_back("network-with-a-rather-long-name-number-" + std::to_string(n));
        if (n <= 32)
            expected += entry(ssids.back(), n);
    }
    serve_ssids(ssids);
    main_get_wifi_ssid(0, nullptr);
    EXPECT_EQ(fake::system_commands(), std::vector<std::string>{expected});
    EXPECT_EQ(fake::popen_commands().size(), 33u);
}

struct hostile_case {
    std::string ssid;
    std::string command;
};

class hostile_ssid_test : public ::testing::TestWithParam<hostile_case> {
protected:
    void SetUp() override { fake::reset(); }
};

// Each SSID stays one harmless line of the file.
TEST_P(hostile_ssid_test, is_written_as_one_quoted_line)
{
    serve_ssids({GetParam().ssid});
    main_get_wifi_ssid(0, nullptr);
    EXPECT_EQ(fake::system_commands(), std::vector<std::string>{head + ";" + GetParam().command});
}

INSTANTIATE_TEST_SUITE_P(
    cases, hostile_ssid_test,
    ::testing::Values(
        hostile_case{"Bob's \"net\"; reboot",
                     "printf '%s\\n' '\"Bob'\\''s \\\"net\\\"; reboot\" \"ath0\"' >>/var/zelvlan_ssid"},
        hostile_case{"$(reboot)`reboot`", "echo '\"$(reboot)`reboot`\" \"ath0\"' >>/var/zelvlan_ssid"},
        hostile_case{"back\\slash", "printf '%s\\n' '\"back\\\\slash\" \"ath0\"' >>/var/zelvlan_ssid"},
        hostile_case{"'", "echo '\"'\\''\" \"ath0\"' >>/var/zelvlan_ssid"},
        hostile_case{"a;;b", "echo '\"a;;b\" \"ath0\"' >>/var/zelvlan_ssid"}));

}  // namespace
