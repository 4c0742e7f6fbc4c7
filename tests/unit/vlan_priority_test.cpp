#include "handlers.h"

#include "fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using fixture::lines;
using fixture::stamp;

class vlan_priority_test : public fixture::uci_test {
protected:
    void section(const char* config, int j, const char* id, const char* priority)
    {
        const std::string s = std::string(config) + ".@vlan[" + std::to_string(j) + "]";
        uci[s + ".bridge"] = "All ";
        if (id)
            uci[s + ".vlanid"] = id;
        if (priority)
            uci[s + ".priority"] = priority;
    }

    lines run()
    {
        fixture::run_main(main_vlan_priority, {"zelvlan", "--app=vlan-priority"});
        return fake::system_commands();
    }
};

TEST_F(vlan_priority_test, seventeen_commands_for_eth0_10_priority_3)
{
    section("vlan", 0, "10", "3");
    uci["network.vlan10.ifname"] = "eth0.10";
    fake::add_file("/proc/net/vlan/eth0.10");
    EXPECT_EQ(run(), lines{"echo '" + stamp + "[vlan] Set VLAN priority...[eth0.10]=3' >> /var/log/zelvlan"
                           ";vconfig set_ingress_map eth0.10 3 0;vconfig set_ingress_map eth0.10 3 1"
                           ";vconfig set_ingress_map eth0.10 3 2;vconfig set_ingress_map eth0.10 3 3"
                           ";vconfig set_ingress_map eth0.10 3 4;vconfig set_ingress_map eth0.10 3 5"
                           ";vconfig set_ingress_map eth0.10 3 6;vconfig set_ingress_map eth0.10 3 7"
                           ";vconfig set_egress_map eth0.10 0 3;vconfig set_egress_map eth0.10 1 3"
                           ";vconfig set_egress_map eth0.10 2 3;vconfig set_egress_map eth0.10 3 3"
                           ";vconfig set_egress_map eth0.10 4 3;vconfig set_egress_map eth0.10 5 3"
                           ";vconfig set_egress_map eth0.10 6 3;vconfig set_egress_map eth0.10 7 3"});
}

TEST_F(vlan_priority_test, without_a_kernel_vlan_device_only_the_line_is_logged)
{
    section("vlan", 0, "10", "3");
    uci["network.vlan10.ifname"] = "eth0.10";
    EXPECT_EQ(run(), lines{"echo '" + stamp + "[vlan] Set VLAN priority...[eth0.10]=3' >> /var/log/zelvlan"});
}

TEST_F(vlan_priority_test, only_names_ending_in_the_vlan_id_belong)
{
    section("vlan", 0, "10", "2");
    uci["network.vlan10.ifname"] = "eth0.10 eth0.100 eth0.1.10 eth0 ath1 x10 ath0.10";
    EXPECT_EQ(run(), (lines{"echo '" + stamp + "[vlan] Set VLAN priority...[eth0.10]=2' >> /var/log/zelvlan",
                            "echo '" + stamp + "[vlan] Set VLAN priority...[ath0.10]=2' >> /var/log/zelvlan"}));
}

struct value_case {
    const char* id;
    const char* priority;
    bool applied;
};

class vlan_priority_values : public vlan_priority_test, public ::testing::WithParamInterface<value_case> {};

TEST_P(vlan_priority_values, only_positive_ids_and_priorities_0_to_7)
{
    const value_case& c = GetParam();
    section("vlan", 0, c.id, c.priority);
    uci["network.vlan" + std::string(c.id ? c.id : "") + ".ifname"] = "eth0." + std::string(c.id ? c.id : "");
    uci["network.vlan0.ifname"] = "eth0.0";
    EXPECT_EQ(run().size(), c.applied ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(table, vlan_priority_values,
                         ::testing::Values(value_case{"10", "7", true}, value_case{"10", "0", true},
                                           value_case{"10", "8", false}, value_case{"10", "9", false},
                                           value_case{"10", "-1", false}, value_case{"0", "3", false},
                                           value_case{"-5", "3", false}, value_case{nullptr, "3", false},
                                           value_case{"10", nullptr, false}, value_case{"4094", "1", true}));

TEST_F(vlan_priority_test, absent_options_do_not_take_the_previous_section_values)
{
    section("vlan", 0, "10", "3");
    section("vlan", 1, "10", nullptr);
    section("vlan", 2, nullptr, "5");
    uci["network.vlan10.ifname"] = "eth0.10";
    EXPECT_EQ(run(), lines{"echo '" + stamp + "[vlan] Set VLAN priority...[eth0.10]=3' >> /var/log/zelvlan"});
}

TEST_F(vlan_priority_test, unreadable_member_list_passes_the_section_over)
{
    section("vlan", 0, "10", "3");
    section("vlan", 1, "20", "4");
    uci["network.vlan20.ifname"] = "eth0.20";
    EXPECT_EQ(run(), lines{"echo '" + stamp + "[vlan] Set VLAN priority...[eth0.20]=4' >> /var/log/zelvlan"});
}

TEST_F(vlan_priority_test, switch_vlan_sections_get_one_batch_each)
{
    uci["wireless.@wifi-iface[0].ssid"] = "a";
    uci["wireless.@wifi-iface[1].ssid"] = "b";
    uci["network.vlansw0.ifname"] = "ath0 eth0.10";
    uci["network.vlansw1.ifname"] = "ath1 eth0.10 eth0.20";
    uci["network.vlansw4all.ifname"] = "ath2 eth0.10";
    section("vlansw", 0, "10", "5");
    section("vlansw", 1, "20", "1");
    fake::add_file("/proc/net/vlan/eth0.20");
    EXPECT_EQ(run(), (lines{"echo '" + stamp + "[vlansw] Set VLAN priority...[eth0.10]=5' >> /var/log/zelvlan",
                            "echo '" + stamp + "[vlansw] Set VLAN priority...[eth0.20]=1' >> /var/log/zelvlan"
                            ";vconfig set_ingress_map eth0.20 1 0;vconfig set_ingress_map eth0.20 1 1"
                            ";vconfig set_ingress_map eth0.20 1 2;vconfig set_ingress_map eth0.20 1 3"
                            ";vconfig set_ingress_map eth0.20 1 4;vconfig set_ingress_map eth0.20 1 5"
                            ";vconfig set_ingress_map eth0.20 1 6;vconfig set_ingress_map eth0.20 1 7"
                            ";vconfig set_egress_map eth0.20 0 1;vconfig set_egress_map eth0.20 1 1"
                            ";vconfig set_egress_map eth0.20 2 1;vconfig set_egress_map eth0.20 3 1"
                            ";vconfig set_egress_map eth0.20 4 1;vconfig set_egress_map eth0.20 5 1"
                            ";vconfig set_egress_map eth0.20 6 1;vconfig set_egress_map eth0.20 7 1"}));
}

TEST_F(vlan_priority_test, with_no_wifi_interface_only_vlansw4all_is_read)
{
    uci["network.vlansw0.ifname"] = "eth0.30";
    uci["network.vlansw4all.ifname"] = "eth0.10";
    section("vlansw", 0, "10", "6");
    section("vlansw", 1, "30", "6");
    EXPECT_EQ(run(), lines{"echo '" + stamp + "[vlansw] Set VLAN priority...[eth0.10]=6' >> /var/log/zelvlan"});
    for (const auto& command : fake::popen_commands())
        EXPECT_EQ(command.find("vlansw0"), std::string::npos) << command;
}

TEST_F(vlan_priority_test, no_switch_members_means_no_switch_lines)
{
    uci["wireless.@wifi-iface[0].ssid"] = "a";
    section("vlansw", 0, "10", "6");
    section("vlansw", 1, "20", "6");
    EXPECT_TRUE(run().empty());
    // Both sections were still walked.
    auto popens = fake::popen_commands();
    EXPECT_NE(std::find(popens.begin(), popens.end(), "uci get vlansw.@vlan[1].vlanid -q"), popens.end());
}

TEST_F(vlan_priority_test, first_pass_precedes_second_and_walk_stops_at_a_gap)
{
    uci["network.vlansw4all.ifname"] = "eth0.20";
    section("vlansw", 0, "20", "2");
    section("vlan", 0, "10", "1");
    section("vlan", 2, "30", "1");  // after the gap at index 1
    uci["network.vlan10.ifname"] = "eth0.10";
    uci["network.vlan30.ifname"] = "eth0.30";
    EXPECT_EQ(run(), (lines{"echo '" + stamp + "[vlan] Set VLAN priority...[eth0.10]=1' >> /var/log/zelvlan",
                            "echo '" + stamp + "[vlansw] Set VLAN priority...[eth0.20]=2' >> /var/log/zelvlan"}));
}

TEST_F(vlan_priority_test, hostile_member_names_are_quoted)
{
    section("vlan", 0, "10", "3");
    uci["network.vlan10.ifname"] = "it's;reboot.10";
    fake::add_file("/proc/net/vlan/it's;reboot.10");
    EXPECT_EQ(run(), lines{"echo '" + stamp +
                           R"([vlan] Set VLAN priority...[it'\''s;reboot.10]=3' >> /var/log/zelvlan)"
                           R"(;vconfig set_ingress_map 'it'\''s;reboot.10' 3 0;vconfig set_ingress_map 'it'\''s;reboot.10' 3 1)"
                           R"(;vconfig set_ingress_map 'it'\''s;reboot.10' 3 2;vconfig set_ingress_map 'it'\''s;reboot.10' 3 3)"
                           R"(;vconfig set_ingress_map 'it'\''s;reboot.10' 3 4;vconfig set_ingress_map 'it'\''s;reboot.10' 3 5)"
                           R"(;vconfig set_ingress_map 'it'\''s;reboot.10' 3 6;vconfig set_ingress_map 'it'\''s;reboot.10' 3 7)"
                           R"(;vconfig set_egress_map 'it'\''s;reboot.10' 0 3;vconfig set_egress_map 'it'\''s;reboot.10' 1 3)"
                           R"(;vconfig set_egress_map 'it'\''s;reboot.10' 2 3;vconfig set_egress_map 'it'\''s;reboot.10' 3 3)"
                           R"(;vconfig set_egress_map 'it'\''s;reboot.10' 4 3;vconfig set_egress_map 'it'\''s;reboot.10' 5 3)"
                           R"(;vconfig set_egress_map 'it'\''s;reboot.10' 6 3;vconfig set_egress_map 'it'\''s;reboot.10' 7 3)"});
}

}  // namespace
