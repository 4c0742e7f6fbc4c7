#include "watchdog.h"

#include "fake_system.h"
#include "ping_packets.h"
#include "text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <arpa/inet.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>

using ping_test::result_path;

namespace {

const char* const log_tail = "' >> /var/log/zelpingwdog";

std::string stamp()
{
    return time_stamp_of(fake::clock_now());
}

// Runs the walk over "zelpingwdog ARGS..." with a result directory of the
// test's own; returns the commands handed to the shell.
std::vector<std::string> walk(const std::vector<std::string>& arguments, watchdog_state& w)
{
    std::vector<std::string> words = {"zelpingwdog"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    EXPECT_EQ(run_command_line(static_cast<int>(words.size()), argv.data(), w), 0);
    return fake::system_commands();
}

class ping_command_line : public ::testing::Test {
protected:
    watchdog_state w;
    watchdog_settings& settings = w.settings;
    void SetUp() override
    {
        fake::reset();
        fake::set_clock(1796610512, 4120);
        fake::set_file_text("/etc/protocols", "# Internet protocols\nip\t0\tIP\nicmp\t1\tICMP\t# control\n");
        settings.result_dir = "/var/";
    }
    void TearDown() override { close_watchdog(w); }
};

TEST_F(ping_command_line, no_arguments_logs_one_line)
{
    EXPECT_EQ(walk({}, w),
              std::vector<std::string>{"echo '[" + stamp() + "] Running...zel_pingwdog" + log_tail});
}

struct walk_case {
    const char* name;
    std::vector<std::string> arguments;
    std::string pieces;  // the run log line with "S" for the stamp
    uint16_t interval, delay, failure_count;
    std::string target;
    uint16_t max_reboots = 0;
    std::string restart_interface = "";
};

class ping_walk : public ping_command_line, public ::testing::WithParamInterface<walk_case> {};

TEST_P(ping_walk, pieces_in_walk_order)
{
    const auto& c = GetParam();
    std::string expected;
    for (char ch : c.pieces)
        expected += ch == 'S' ? "[" + stamp() + "]" : std::string(1, ch);
    EXPECT_EQ(walk(c.arguments, w), std::vector<std::string>{"echo '" + expected + log_tail});
    EXPECT_EQ(settings.interval, c.interval);
    EXPECT_EQ(settings.startup_delay, c.delay);
    EXPECT_EQ(settings.failure_count, c.failure_count);
    EXPECT_EQ(settings.target_address, c.target);
    EXPECT_EQ(settings.max_reboots, c.max_reboots);
    EXPECT_EQ(settings.restart_interface, c.restart_interface);
    EXPECT_FALSE(fake::has_file_text(result_path)) << "nothing may start";
}

INSTANTIATE_TEST_SUITE_P(
    arguments, ping_walk,
    ::testing::Values(
        walk_case{"all_four", {"-ipaddr=10.0.0.1", "-interval=5", "-delay=30", "-failcount=3"},
                  "S fcount=[3]S delay=[30]S delay=[5]S ip=[10.0.0.1]", 5, 30, 3, "10.0.0.1"},
        walk_case{"reboot_limit_after_the_others",
                  {"-ipaddr=fe80::1%eth1", "-failcount=3", "-maxreboots=2", "--maxreboots=-1"},
                  "S maxreboots=[65535]S maxreboots=[2]S fcount=[3]S ip=[fe80::1%eth1]", 0, 0, 3, "fe80::1%eth1", 2},
        walk_case{"timeout_and_tries", {"-timeout=3", "-tries=-2", "--timeout=x"},
                  "S timeout=[0]S tries=[-2]S timeout=[3]", 0, 0, 0, ""},
        walk_case{"restart_interface", {"-failcount=4", "-restartiface=wan", "--restartiface=lan;x"},
                  "S restartiface=[lan;x]S restartiface=[wan]S fcount=[4]", 0, 0, 4, "", 0, "wan"},
        walk_case{"last_wins_as_read_first", {"-delay=1", "-delay=2"}, "S delay=[2]S delay=[1]", 0, 1, 0, ""},
        walk_case{"interval_wraps", {"-interval=65536"}, "S delay=[0]", 0, 0, 0, ""},
        walk_case{"minus_one", {"-failcount=-1"}, "S fcount=[65535]", 0, 0, 65535, ""},
        walk_case{"no_value", {"-failcount"}, "S fcount=[0]", 0, 0, 0, ""},
        walk_case{"leading_digits", {"-delay=12abc", "-interval=x9"}, "S delay=[0]S delay=[12]", 0, 12, 0, ""},
        walk_case{"huge_number", {"-delay=4294967297"}, "S delay=[1]", 0, 1, 0, ""},
        walk_case{"double_dash", {"--ipaddr=1.2.3.4", "--failcount=2"}, "S fcount=[2]S ip=[1.2.3.4]", 0, 0, 2,
                  "1.2.3.4"},
        walk_case{"first_row_wins", {"-delay-interval=7"}, "S delay=[7]", 7, 0, 0, ""},
        walk_case{"app_name_never_another_option", {"--app-ipaddr=1.2.3.4"}, "", 0, 0, 0, ""},
        walk_case{"app_prefix_starts_nothing", {"--app=pingwd", "--app=pingwdogs", "--app=ping"}, "", 0, 0, 0, ""},
        walk_case{"unknown_and_empty_ignored", {"", "=", "foo=bar", "=5", "-ipaddr=9.9.9.9"}, "S ip=[9.9.9.9]", 0,
                  0, 0, "9.9.9.9"},
        // Fields follow strtok: a leading '=' is skipped, so this is -delay.
        walk_case{"leading_equals_skipped", {"=-delay"}, "S delay=[0]", 0, 0, 0, ""},
        walk_case{"hostile_address_is_text",
                  {"-ipaddr=1.2.3.4';reboot;'"},
                  "S ip=[1.2.3.4'\\'';reboot;'\\'']", 0, 0, 0, "1.2.3.4';reboot;'"}),
    [](const ::testing::TestParamInfo<walk_case>& info) { return info.param.name; });

TEST(ping_low16, reads_like_atoi_cut_to_16_bits)
{
    EXPECT_EQ(low16_of_decimal(""), 0);
    EXPECT_EQ(low16_of_decimal("  42"), 42);
    EXPECT_EQ(low16_of_decimal("+7"), 7);
    EXPECT_EQ(low16_of_decimal("-2"), 65534);
    EXPECT_EQ(low16_of_decimal("-65536"), 0);
    EXPECT_EQ(low16_of_decimal("65535"), 65535);
    EXPECT_EQ(low16_of_decimal("65537"), 1);
    // 99999999999999999999 is 65535 modulo 65536.
    EXPECT_EQ(low16_of_decimal("99999999999999999999"), 65535);
}

// ---- start-up ----

struct family_case {
    const char* text;
    int family;
    bool converts;
    const char* address;  // as inet_ntop writes it back
    unsigned scope;
};

class ping_target : public ::testing::TestWithParam<family_case> {};

TEST_P(ping_target, ipv4_as_inet_addr_reads_it_or_an_ipv6_literal)
{
    const auto& c = GetParam();
    fake::reset();
    fake::set_interface("eth1", 3);
    watchdog_state w;
    ASSERT_EQ(target_family(c.text), c.family);
    ASSERT_EQ(convert_target(w, c.text, c.family), c.converts);
    if (!c.converts)
        return;
    char text[INET6_ADDRSTRLEN] = "";
    if (c.family == AF_INET6) {
        const auto& six = reinterpret_cast<const struct sockaddr_in6&>(w.target);
        EXPECT_EQ(w.target_length, sizeof six);
        inet_ntop(AF_INET6, &six.sin6_addr, text, sizeof text);
        EXPECT_EQ(six.sin6_scope_id, c.scope);
        EXPECT_EQ(six.sin6_port, 0);
    } else {
        const auto& four = reinterpret_cast<const struct sockaddr_in&>(w.target);
        EXPECT_EQ(w.target_length, sizeof four);
        inet_ntop(AF_INET, &four.sin_addr, text, sizeof text);
    }
    EXPECT_EQ(std::string(text), c.address);
}

INSTANTIATE_TEST_SUITE_P(
    texts, ping_target,
    ::testing::Values(family_case{"127.0.0.1", AF_INET, true, "127.0.0.1", 0},
                      family_case{"10.1", AF_INET, true, "10.0.0.1", 0},  // inet_addr's short forms stay
                      family_case{"255.255.255.255", AF_INET, false, "", 0},
                      family_case{"::1", AF_INET6, true, "::1", 0},
                      family_case{"2001:DB8:0:0::7", AF_INET6, true, "2001:db8::7", 0},
                      family_case{"::ffff:10.0.0.1", AF_INET6, true, "::ffff:10.0.0.1", 0},
                      family_case{"fe80::1%eth1", AF_INET6, true, "fe80::1", 3},
                      family_case{"fe80::1%7", AF_INET6, true, "fe80::1", 7},
                      family_case{"fe80::1%eth2", AF_INET6, false, "", 0},
                      family_case{"1::2::3", AF_INET, false, "", 0}));

std::string start_line(const std::string& target, int interval, int delay, int failure_count)
{
    return "echo '[" + stamp() + "] Running ping watchdog...IP=[" + target + "][interval]=[" +
           std::to_string(interval) + "][startup delay]=[" + std::to_string(delay) + "][failure_count]=[" +
           std::to_string(failure_count) + "]" + log_tail;
}

struct refused_case {
    const char* name;
    std::string target;
    std::string option = "";  // one more argument, when given
};

class ping_refused_target : public ping_command_line, public ::testing::WithParamInterface<refused_case> {};

TEST_P(ping_refused_target, fails_after_the_start_line)
{
    const auto& c = GetParam();
    std::vector<std::string> arguments = {"--app=pingwdog", "-ipaddr=" + c.target, "-interval=4", "-delay=9",
                                          "-failcount=2"};
    if (!c.option.empty())
        arguments.push_back(c.option);
    auto commands = walk(arguments, w);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], start_line(c.target, 4, 9, 2));
    // The result file was emptied and closed without its banner.
    EXPECT_TRUE(fake::has_file_text(result_path));
    EXPECT_EQ(fake::file_text(result_path), "");
    EXPECT_EQ(w.socket_fd, -1);
    EXPECT_TRUE(fake::open_sockets().empty());
    EXPECT_EQ(w.result_file, nullptr);
    EXPECT_TRUE(fake::sent().empty()) << "no request may go out";
}

INSTANTIATE_TEST_SUITE_P(targets, ping_refused_target,
                         ::testing::Values(refused_case{"broadcast", "255.255.255.255"},
                                           refused_case{"trailing_letters", "10.0.0.1abc"},
                                           refused_case{"five_numbers", "10.0.0.1.5"},
                                           refused_case{"name", "gateway"}, refused_case{"empty", ""},
                                           refused_case{"two_double_colons", "1::2::3"},
                                           refused_case{"unknown_interface", "fe80::1%wan9"},
                                           refused_case{"empty_interface", "fe80::1%"},
                                           refused_case{"interface_on_ipv4", "10.0.0.1%eth1"},
                                           refused_case{"blank_then_text", "10.0.0.1 x"},
                                           refused_case{"trailing_tab", "10.0.0.1\t"},
                                           refused_case{"list_with_a_name", "10.0.0.1,gateway"},
                                           refused_case{"list_with_an_empty_item", "10.0.0.1,,10.0.0.2"},
                                           refused_case{"list_ending_in_a_comma", "10.0.0.1,"},
                                           refused_case{"list_with_a_blank", "10.0.0.1, 10.0.0.2"},
                                           refused_case{"duplicate", "10.0.0.1,10.0.0.2,10.0.0.1"},
                                           refused_case{"duplicate_in_other_words", "10.0.0.1,10.1"},
                                           refused_case{"duplicate_ipv6", "::1,0::1"},
                                           refused_case{"nine_targets", "10.0.0.1,10.0.0.2,10.0.0.3,10.0.0.4,"
                                                                        "10.0.0.5,10.0.0.6,10.0.0.7,10.0.0.8,"
                                                                        "10.0.0.9"},
                                           refused_case{"reliability_0", "10.0.0.1,::1", "-reliability=0"},
                                           refused_case{"reliability_over_the_targets", "10.0.0.1,::1",
                                                        "-reliability=3"},
                                           refused_case{"reliability_2_of_one", "10.0.0.1", "-reliability=2"},
                                           refused_case{"timeout_0", "10.0.0.1", "-timeout=0"},
                                           refused_case{"timeout_31", "10.0.0.1", "-timeout=31"},
                                           refused_case{"timeout_negative", "10.0.0.1", "-timeout=-3"},
                                           refused_case{"timeout_fraction", "10.0.0.1", "-timeout=1.5"},
                                           refused_case{"timeout_empty", "10.0.0.1", "-timeout="},
                                           refused_case{"timeout_huge", "10.0.0.1", "-timeout=4294967299"},
                                           refused_case{"tries_0", "10.0.0.1,::1", "-tries=0"},
                                           refused_case{"tries_11", "10.0.0.1", "-tries=11"},
                                           refused_case{"tries_signed", "10.0.0.1", "-tries=+3"},
                                           refused_case{"tries_blank", "10.0.0.1", "-tries= 3"},
                                           refused_case{"tries_word", "10.0.0.1", "--tries=three"},
                                           refused_case{"interface_empty", "10.0.0.1", "-restartiface="},
                                           refused_case{"interface_16", "10.0.0.1", "-restartiface=wan_backhaul.100"},
                                           refused_case{"interface_command", "10.0.0.1", "-restartiface=wan;reboot"},
                                           refused_case{"interface_blank", "10.0.0.1,::1", "-restartiface=wan 2"},
                                           refused_case{"interface_slash", "10.0.0.1", "-restartiface=w/an"},
                                           refused_case{"interface_quote", "10.0.0.1", "-restartiface=wa'n"}),
                         [](const ::testing::TestParamInfo<refused_case>& info) { return info.param.name; });

TEST_F(ping_command_line, start_sees_only_options_after_it_and_the_walk_goes_on)
{
    auto commands = walk({"-ipaddr=10.1.1.1", "-failcount=7", "--app=pingwdog", "-ipaddr=255.255.255.255"}, w);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], start_line("255.255.255.255", 0, 0, 0));
    std::string s = "[" + stamp() + "]";
    EXPECT_EQ(commands[1], "echo '" + s + " ip=[255.255.255.255]" + s + " Running...zel_pingwdog" + s +
                               " fcount=[7]" + s + " ip=[10.1.1.1]" + log_tail);
    EXPECT_EQ(settings.target_address, "10.1.1.1");
}

TEST_F(ping_command_line, interface_name_of_15_characters_is_restarted_before_the_reboot)
{
    auto commands = walk({"--app=pingwdog", "-ipaddr=127.0.0.1", "-failcount=1", "-restartiface=Br-lan_Guest.10"}, w);
    ASSERT_EQ(commands.size(), 6u);
    EXPECT_EQ(commands[2], "ifup Br-lan_Guest.10");
    EXPECT_EQ(commands[4], "reboot");
}

TEST_F(ping_command_line, each_starting_argument_starts_again)
{
    auto commands = walk({"--app=pingwdog", "-ipaddr=1.2.3.4x", "--app=pingwdog", "-ipaddr=255.255.255.255"}, w);
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0], start_line("255.255.255.255", 0, 0, 0));
    EXPECT_EQ(commands[1], start_line("1.2.3.4x", 0, 0, 0));
}

TEST_F(ping_command_line, result_path_too_long_is_refused_after_the_start_line)
{
    settings.result_dir = "/var/" + std::string(40, 'd') + "/";
    settings.target_address = "127.0.0.1";
    EXPECT_EQ(start_watchdog(w), 2);
    EXPECT_EQ(fake::system_commands(), std::vector<std::string>{start_line("127.0.0.1", 0, 0, 0)});
    EXPECT_FALSE(fake::has_file_text(settings.result_dir + "webspingwatchdog.msg"));
}

TEST_F(ping_command_line, result_file_that_cannot_be_opened_is_refused_after_the_start_line)
{
    fake::refuse_file(result_path);
    settings.target_address = "127.0.0.1";
    EXPECT_EQ(start_watchdog(w), 2);
    EXPECT_EQ(fake::system_commands(), std::vector<std::string>{start_line("127.0.0.1", 0, 0, 0)});
    EXPECT_TRUE(fake::raw_sockets().empty());
}

TEST_F(ping_command_line, without_icmp_in_the_protocols_start_fails_with_1)
{
    fake::set_file_text("/etc/protocols", "ip\t0\tIP\n# icmp 1 ICMP\nicmpx 1\n");
    settings.target_address = "127.0.0.1";
    EXPECT_EQ(start_watchdog(w), 1);
    EXPECT_EQ(fake::system_commands(), std::vector<std::string>{start_line("127.0.0.1", 0, 0, 0)});
    EXPECT_FALSE(fake::has_file_text(result_path));
}

TEST_F(ping_command_line, without_raw_socket_privilege_start_fails_with_3)
{
    fake::refuse_raw_sockets();
    settings.target_address = "127.0.0.1";
    EXPECT_EQ(start_watchdog(w), 3);
    EXPECT_EQ(fake::system_commands(), std::vector<std::string>{start_line("127.0.0.1", 0, 0, 0)});
    EXPECT_TRUE(fake::has_file_text(result_path));
    EXPECT_EQ(fake::file_text(result_path), "");
    EXPECT_EQ(w.result_file, nullptr);
}

TEST_F(ping_command_line, ipv6_target_gets_an_icmpv6_socket_filtered_for_echo_replies)
{
    fake::set_interface("eth1", 4);
    settings.target_address = "fe80::99:2%eth1";
    settings.failure_count = 2;
    fake::fail_waits_after(0, EBADF);
    EXPECT_EQ(start_watchdog(w), 0);
    EXPECT_EQ(fake::raw_sockets(), (std::vector<std::pair<int, int>>{{AF_INET6, IPPROTO_ICMPV6}}));
    std::vector<std::pair<int, int>> options;
    for (const auto& o : fake::socket_options())
        options.emplace_back(o.level, o.name);
    EXPECT_EQ(options, (std::vector<std::pair<int, int>>{
                           {SOL_SOCKET, SO_RCVBUF}, {IPPROTO_ICMPV6, ICMP6_FILTER}, {IPPROTO_IPV6, IPV6_RECVHOPLIMIT}}));
    struct icmp6_filter types {};
    ASSERT_EQ(fake::socket_options()[1].value.size(), sizeof types);
    std::memcpy(&types, fake::socket_options()[1].value.data(), sizeof types);
    for (int type = 0; type < 256; ++type)
        EXPECT_EQ(ICMP6_FILTER_WILLPASS(type, &types), type == 129) << "type " << type;
    EXPECT_EQ(fake::file_text(result_path), "This is system tools of ping watchdog.\nThe target ip is fe80::99:2%eth1 "
                                            "and the number of failure to reboot is 2\n");
    ASSERT_EQ(fake::sent().size(), 1u);
    EXPECT_EQ(fake::sent()[0].destination, "fe80::99:2");
    EXPECT_EQ(fake::sent()[0].scope_id, 4u);
    EXPECT_EQ(fake::sent()[0].bytes[0], 128);
}

TEST_F(ping_command_line, start_up_opens_the_socket_writes_the_banner_and_runs_the_loop)
{
    settings.target_address = "127.0.0.1";
    settings.failure_count = 3;
    fake::fail_waits_after(0, EBADF);  // the loop ends at its first wait
    EXPECT_EQ(start_watchdog(w), 0);
    EXPECT_EQ(fake::raw_sockets(), (std::vector<std::pair<int, int>>{{AF_INET, 1}}));
    ASSERT_GE(fake::socket_options().size(), 1u);
    const auto& rcvbuf = fake::socket_options()[0];
    EXPECT_EQ(rcvbuf.level, SOL_SOCKET);
    EXPECT_EQ(rcvbuf.name, SO_RCVBUF);
    int size = 0;
    ASSERT_EQ(rcvbuf.value.size(), sizeof size);
    std::memcpy(&size, rcvbuf.value.data(), sizeof size);
    EXPECT_EQ(size, 10240);
    EXPECT_FALSE(fake::attached_filter().empty());
    EXPECT_EQ(fake::file_text(result_path),
              "This is system tools of ping watchdog.\nThe target ip is 127.0.0.1 and the number of failure to "
              "reboot is 3\n");
    ASSERT_EQ(fake::sent().size(), 1u);
    EXPECT_EQ(fake::sent()[0].destination, "127.0.0.1");
    EXPECT_EQ(fake::sent()[0].bytes[0], 8);
    EXPECT_TRUE(fake::open_sockets().empty()) << "closed when the wait failed";
}

}  // namespace
