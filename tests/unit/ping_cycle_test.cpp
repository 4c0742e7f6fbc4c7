#include "watchdog.h"

#include "fake_system.h"
#include "ping_packets.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <arpa/inet.h>

using ping_test::from;
using ping_test::make_packet;
using ping_test::packet_spec;
using ping_test::result_path;

namespace {

struct sockaddr_storage address_of(const std::string& text, unsigned scope = 0)
{
    struct sockaddr_storage s {};
    auto& four = reinterpret_cast<struct sockaddr_in&>(s);
    auto& six = reinterpret_cast<struct sockaddr_in6&>(s);
    if (inet_pton(AF_INET, text.c_str(), &four.sin_addr) == 1) {
        four.sin_family = AF_INET;
    } else {
        EXPECT_EQ(inet_pton(AF_INET6, text.c_str(), &six.sin6_addr), 1) << text;
        six.sin6_family = AF_INET6;
        six.sin6_scope_id = scope;
    }
    return s;
}

// ---- which packet counts, and which cycle is answered ----

struct match_case {
    const char* name;
    int family;
    packet_spec packet;
    std::string source;
    unsigned scope;
    int expected;  // index of the target answered, -1 for nothing
};

packet_spec reply(uint16_t sequence = 7, uint16_t identifier = 0x4242, uint8_t type = 0, int header = 20,
                  int data = 56)
{
    packet_spec p;
    p.sequence = sequence;
    p.identifier = identifier;
    p.type = type;
    p.header_length = header;
    p.data_length = data;
    return p;
}

class ping_match_reply : public ::testing::TestWithParam<match_case> {};

TEST_P(ping_match_reply, counts_only_a_first_reply_of_the_cycle_from_a_target)
{
    const auto& c = GetParam();
    fake::set_interface("eth1", 3);
    std::vector<watch_target> targets;
    ASSERT_TRUE(read_target_list("10.0.0.1,10.0.0.2,::1,fe80::7%eth1", targets));
    targets[1].answered = true;
    targets[2].tries = 2;  // ::1 got the cycle's first two requests, 7 and 8
    std::vector<unsigned char> bytes = make_packet(c.packet);
    EXPECT_EQ(match_reply(bytes.data(), static_cast<int>(bytes.size()), c.family, address_of(c.source, c.scope),
                          0x4242, 7, targets),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    packets, ping_match_reply,
    ::testing::Values(match_case{"reply_from_a_target", AF_INET, reply(), "10.0.0.1", 0, 0},
                      match_case{"second_reply_from_a_target", AF_INET, reply(), "10.0.0.2", 0, -1},
                      match_case{"late_reply_of_an_earlier_cycle", AF_INET, reply(6), "10.0.0.1", 0, -1},
                      match_case{"reply_of_a_later_sequence", AF_INET, reply(8), "10.0.0.1", 0, -1},
                      match_case{"foreign_identifier", AF_INET, reply(7, 0x4243), "10.0.0.1", 0, -1},
                      match_case{"foreign_source", AF_INET, reply(), "10.0.0.9", 0, -1},
                      match_case{"echo_request", AF_INET, reply(7, 0x4242, 8), "10.0.0.1", 0, -1},
                      match_case{"too_short", AF_INET, reply(7, 0x4242, 0, 20, 7), "10.0.0.1", 0, -1},
                      match_case{"icmpv6_reply", AF_INET6, reply(7, 0x4242, 129, 0), "::1", 0, 2},
                      match_case{"reply_to_the_first_try_after_the_second", AF_INET6, reply(7, 0x4242, 129, 0),
                                 "::1", 0, 2},
                      match_case{"reply_to_the_second_try", AF_INET6, reply(8, 0x4242, 129, 0), "::1", 0, 2},
                      match_case{"reply_to_a_try_not_sent", AF_INET6, reply(9, 0x4242, 129, 0), "::1", 0, -1},
                      match_case{"icmpv4_type_on_icmpv6", AF_INET6, reply(7, 0x4242, 0, 0), "::1", 0, -1},
                      match_case{"link_local_on_its_interface", AF_INET6, reply(7, 0x4242, 129, 0), "fe80::7", 3, 3},
                      match_case{"link_local_on_another_interface", AF_INET6, reply(7, 0x4242, 129, 0), "fe80::7",
                                 4, -1}),
    [](const ::testing::TestParamInfo<match_case>& info) { return info.param.name; });

struct judge_case {
    std::string answered;  // one flag per target: 1 answered
    int reliability;
    bool expected;
};

class ping_cycle_answered : public ::testing::TestWithParam<judge_case> {};

TEST_P(ping_cycle_answered, needs_reliability_answers)
{
    const auto& c = GetParam();
    std::vector<watch_target> targets(c.answered.size());
    for (std::size_t i = 0; i < targets.size(); ++i)
        targets[i].answered = c.answered[i] == '1';
    EXPECT_EQ(cycle_answered(targets, c.reliability), c.expected);
}

INSTANTIATE_TEST_SUITE_P(counts, ping_cycle_answered,
                         ::testing::Values(judge_case{"10", 1, true}, judge_case{"00", 1, false},
                                           judge_case{"10", 2, false}, judge_case{"11", 2, true},
                                           judge_case{"01101", 3, true}, judge_case{"01100", 3, false},
                                           judge_case{"11111111", 8, true}));

// ---- tries within a cycle ----

struct due_case {
    int timeout, tries, tries_sent;
    long long due;  // microseconds from the cycle's start, -1: none
};

class ping_next_try_due : public ::testing::TestWithParam<due_case> {};

TEST_P(ping_next_try_due, spreads_the_tries_over_the_budget)
{
    const auto& c = GetParam();
    EXPECT_EQ(next_try_due(c.timeout, c.tries, c.tries_sent), c.due);
}

INSTANTIATE_TEST_SUITE_P(tries, ping_next_try_due,
                         ::testing::Values(due_case{1, 1, 0, 0}, due_case{1, 1, 1, -1}, due_case{1, 3, 1, 333333},
                                           due_case{1, 3, 2, 666666}, due_case{1, 3, 3, -1},
                                           due_case{3, 2, 1, 1500000}, due_case{30, 10, 9, 27000000},
                                           due_case{30, 10, 10, -1}));

struct try_case {
    const char* name;
    uint16_t first_sequence;
    int tries_sent;
    uint16_t sequence;
    bool answers;
};

class ping_reply_answers_try : public ::testing::TestWithParam<try_case> {};

TEST_P(ping_reply_answers_try, only_the_cycles_requests_to_the_target)
{
    const auto& c = GetParam();
    EXPECT_EQ(reply_answers_try(c.first_sequence, c.tries_sent, c.sequence), c.answers);
}

INSTANTIATE_TEST_SUITE_P(
    sequences, ping_reply_answers_try,
    ::testing::Values(try_case{"first_try_after_the_second_was_sent", 40, 2, 40, true},
                      try_case{"latest_try", 40, 2, 41, true}, try_case{"try_not_sent_yet", 40, 2, 42, false},
                      try_case{"earlier_cycle", 40, 2, 39, false}, try_case{"wraps_with_the_field", 65535, 2, 0, true},
                      try_case{"earlier_cycle_across_the_wrap", 0, 3, 65535, false}),
    [](const ::testing::TestParamInfo<try_case>& info) { return info.param.name; });

// ---- cycles with several targets ----

const std::string timed_out = "Request timed out.\r";
const std::string banner_start = "This is system tools of ping watchdog.\nThe target ip is ";

class ping_targets : public ::testing::Test {
protected:
    watchdog_state w;
    std::set<std::string> answering;  // targets whose requests are answered

    void SetUp() override
    {
        fake::reset();
        fake::set_clock(1796610512, 4120);
        fake::set_file_text("/etc/protocols", "icmp 1 ICMP\n");
        w.settings.result_dir = "/var/";
        w.settings.interval = 2;
        w.settings.failure_count = 3;
        // Each answering target replies to every request sent to it, and
        // so does a host that is no target; the first target also sends a
        // second copy of its reply.
        fake::set_send_hook([this](const fake::sent_packet& sent) {
            packet_spec r;
            r.identifier = w.identifier;
            r.sequence = static_cast<uint16_t>((sent.bytes[6] << 8) | sent.bytes[7]);
            if (answering.count(sent.destination)) {
                fake::deliver(from(sent.destination, make_packet(r)));
                if (sent.destination == "10.0.0.1")
                    fake::deliver(from(sent.destination, make_packet(r)));
            }
            fake::deliver(from("10.0.0.99", make_packet(r)));
        });
    }
    void TearDown() override { close_watchdog(w); }

    // Starts the watchdog on the list; it runs until it reboots or until
    // `waits` waits have returned.
    int start(const std::string& list, uint16_t reliability, int waits)
    {
        w.settings.target_address = list;
        w.settings.reliability = reliability;
        fake::fail_waits_after(waits, EBADF);
        return start_watchdog(w);
    }

    std::vector<std::string> run_log_lines() const
    {
        std::vector<std::string> lines;
        for (const std::string& c : fake::system_commands())
            if (c.find("/var/log/zelpingwdog") != std::string::npos && c.find("Running ping") == std::string::npos)
                lines.push_back(c);
        return lines;
    }
    bool rebooted() const
    {
        auto c = fake::system_commands();
        return std::find(c.begin(), c.end(), "reboot") != c.end();
    }
};

TEST_F(ping_targets, one_silent_target_of_two_with_reliability_1_is_logged_once_and_never_reboots)
{
    answering = {"10.0.0.1"};
    // Each answered cycle: the wait that reads the reply and the duplicate,
    // the waits that read the stranger's two replies, and the timeout.
    EXPECT_EQ(start("10.0.0.1,10.0.0.2", 1, 5 * 4), 0);
    EXPECT_FALSE(rebooted());
    EXPECT_EQ(w.answered_mark, 4);

    // One request to each target per cycle, with the cycle's sequence number.
    const auto& sent = fake::sent();
    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(sent[0].destination, "10.0.0.1");
    EXPECT_EQ(sent[1].destination, "10.0.0.2");
    EXPECT_EQ(sent[0].bytes[7], 0);
    EXPECT_EQ(sent[1].bytes[7], 0);
    EXPECT_EQ(sent[2].bytes[7], 1);

    std::string stamp_line_end = "] Target 10.0.0.2 stopped answering' >> /var/log/zelpingwdog";
    std::vector<std::string> lines = run_log_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(stamp_line_end), std::string::npos) << lines[0];

    // One record per cycle: the duplicate and the stranger's replies count
    // for nothing.
    std::string result = fake::file_text(result_path);
    EXPECT_EQ(std::count(result.begin(), result.end(), '\r'), 4);
    EXPECT_EQ(result.find(timed_out), std::string::npos);
    EXPECT_EQ(result.find("10.0.0.99"), std::string::npos);

    // The pause after the replies comes once per cycle.
    std::vector<long long> expected_sleeps = {0};
    for (int cycle = 1; cycle <= 4; ++cycle)
        expected_sleeps.insert(expected_sleeps.end(), {1000, 2000});
    EXPECT_EQ(fake::sleeps(), expected_sleeps);
}

TEST_F(ping_targets, reliability_2_reboots_after_the_failure_count)
{
    answering = {"10.0.0.1"};
    EXPECT_EQ(start("10.0.0.1,10.0.0.2", 2, -1), 0);
    EXPECT_TRUE(rebooted());
    EXPECT_EQ(w.sent_mark, 3);
    std::string result = fake::file_text(result_path);
    EXPECT_EQ(result.substr(0, banner_start.size() + 17), banner_start + "10.0.0.1,10.0.0.2");
    // Each cycle: the reply of the one answering target, then the timed-out
    // record, for the cycle was not answered.
    std::string one_cycle_end = " ms \r" + timed_out;
    std::size_t cycles = 0;
    for (std::size_t at = result.find(one_cycle_end); at != std::string::npos; at = result.find(one_cycle_end, at + 1))
        ++cycles;
    EXPECT_EQ(cycles, 3u);
    EXPECT_EQ(result.find("10.0.0.2:"), std::string::npos);
}

TEST_F(ping_targets, two_silent_targets_reboot_after_failcount_cycles)
{
    EXPECT_EQ(start("10.0.0.1,10.0.0.2", 1, -1), 0);
    EXPECT_TRUE(rebooted());
    EXPECT_EQ(w.sent_mark, 3);
    EXPECT_EQ(fake::sent().size(), 6u);
    std::string result = fake::file_text(result_path);
    EXPECT_EQ(result.substr(result.find("is 3\n") + 5),
              timed_out + timed_out + timed_out + "It will be reboot  after 3 seconds!!!");
    std::vector<std::string> commands = fake::system_commands();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_NE(commands[commands.size() - 2].find("] Rebooted by ping watchdog.[IP]=[10.0.0.1,10.0.0.2]' >> "
                                                 "/etc/reboot_history"),
              std::string::npos);
}

TEST_F(ping_targets, two_silent_targets_restart_the_interface_then_reboot_after_failcount_more)
{
    w.settings.restart_interface = "wan";
    w.settings.startup_delay = 30;
    EXPECT_EQ(start("10.0.0.1,10.0.0.2", 1, -1), 0);
    EXPECT_TRUE(rebooted());
    EXPECT_EQ(w.sent_mark, 6);
    std::vector<std::string> commands = fake::system_commands();
    // The start line, both targets stopped answering, the restart, the
    // history line and the reboot.
    ASSERT_EQ(commands.size(), 7u);
    EXPECT_NE(commands[3].find("] Restarting interface wan' >> /var/log/zelpingwdog"), std::string::npos);
    EXPECT_EQ(commands[4], "ifup wan");
    EXPECT_EQ(fake::sleeps(), (std::vector<long long>{30000, 2000, 2000, 30000, 2000, 2000, 1000}));
}

TEST_F(ping_targets, a_target_that_answers_again_is_logged_once)
{
    answering = {"10.0.0.1"};
    w.settings.failure_count = 0;
    int cycles = 0;
    // The second target answers from the fifth cycle on.
    auto hook_after = [&](const fake::sent_packet& sent) {
        if (sent.destination == "10.0.0.2" && ++cycles == 5)
            answering.insert("10.0.0.2");
    };
    auto answer = [this](const fake::sent_packet& sent) {
        if (answering.count(sent.destination)) {
            packet_spec r;
            r.identifier = w.identifier;
            r.sequence = static_cast<uint16_t>((sent.bytes[6] << 8) | sent.bytes[7]);
            fake::deliver(from(sent.destination, make_packet(r)));
        }
    };
    fake::set_send_hook([&](const fake::sent_packet& sent) {
        hook_after(sent);
        answer(sent);
    });
    // Four cycles with one reply (two waits each), then two with two.
    EXPECT_EQ(start("10.0.0.1,10.0.0.2", 1, 4 * 2 + 2 * 2), 0);
    std::vector<std::string> lines = run_log_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("] Target 10.0.0.2 stopped answering'"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("] Target 10.0.0.2 answers again'"), std::string::npos) << lines[1];
}

// ---- slow and lossy links ----

// Microseconds on the monotonic clock (the fake's moves with its time of day).
long long now_microseconds()
{
    struct timeval t = fake::clock_now();
    return t.tv_sec * 1000000LL + t.tv_usec;
}

packet_spec reply_to(const fake::sent_packet& sent)
{
    packet_spec r;
    r.identifier = static_cast<uint16_t>((sent.bytes[4] << 8) | sent.bytes[5]);
    r.sequence = static_cast<uint16_t>((sent.bytes[6] << 8) | sent.bytes[7]);
    return r;
}

// A host that answers each request, its send time echoed, this many
// microseconds after it went out.
std::function<void(const fake::sent_packet&)> answer_after(long long microseconds)
{
    return [microseconds](const fake::sent_packet& sent) {
        std::vector<unsigned char> bytes = make_packet(reply_to(sent));
        std::copy(sent.bytes.begin() + 8, sent.bytes.begin() + 16, bytes.begin() + 28);
        fake::deliver_after(from(sent.destination, bytes), microseconds);
    };
}

std::size_t count_of(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

struct slow_case {
    const char* name;
    std::string targets;
    int timeout;
    bool reboots;
    bool timed_out_records;
};

class ping_slow_host : public ping_targets, public ::testing::WithParamInterface<slow_case> {};

TEST_P(ping_slow_host, a_reply_within_the_timeout_counts_with_its_round_trip)
{
    const auto& c = GetParam();
    // Every target answers each request 1.5 s after it went out.
    fake::set_send_hook(answer_after(1500000));
    w.settings.interval = 0;
    w.settings.failure_count = 2;
    w.settings.timeout = c.timeout;
    EXPECT_EQ(start(c.targets, 1, 12), 0);
    EXPECT_EQ(rebooted(), c.reboots);
    std::string result = fake::file_text(result_path);
    EXPECT_EQ(result.find(timed_out) != std::string::npos, c.timed_out_records) << result;
    if (!c.reboots) {
        // Every reply record shows the real round trip.
        EXPECT_GE(count_of(result, "Reply from_pw"), 3u) << result;
        EXPECT_EQ(count_of(result, " ms \r"), count_of(result, " time=1500.000 ms \r")) << result;
    }
}

INSTANTIATE_TEST_SUITE_P(
    links, ping_slow_host,
    ::testing::Values(slow_case{"one_target_timeout_3", "10.0.0.1", 3, false, false},
                      slow_case{"two_targets_timeout_3", "10.0.0.1,10.0.0.2", 3, false, false},
                      slow_case{"two_targets_default_budget", "10.0.0.1,10.0.0.2", 1, true, true},
                      // The plain cycle counts the late reply in the next cycle.
                      slow_case{"one_target_default_budget", "10.0.0.1", 1, false, true}),
    [](const ::testing::TestParamInfo<slow_case>& info) { return info.param.name; });

TEST_F(ping_targets, a_host_answering_every_third_request_keeps_three_tries_answered)
{
    // The cycle's three requests go out 333.333 ms apart; the third is
    // answered at once.
    std::vector<long long> sent_at;
    int requests = 0;
    fake::set_send_hook([&](const fake::sent_packet& sent) {
        sent_at.push_back(now_microseconds());
        if (++requests % 3 == 0)
            fake::deliver(from(sent.destination, make_packet(reply_to(sent))));
    });
    w.settings.tries = 3;
    w.settings.failure_count = 1;
    EXPECT_EQ(start("10.0.0.1", 1, 4 * 3), 0);
    EXPECT_FALSE(rebooted());
    std::string result = fake::file_text(result_path);
    EXPECT_EQ(result.find(timed_out), std::string::npos);
    EXPECT_EQ(count_of(result, "Reply from_pw 10.0.0.1: bytes=56 icmp_seq_pw="), 4u);
    EXPECT_NE(result.find("icmp_seq_pw=2 "), std::string::npos);
    EXPECT_NE(result.find("icmp_seq_pw=5 "), std::string::npos);
    ASSERT_GE(sent_at.size(), 6u);
    // Within a cycle; the next starts after the pause and the interval.
    EXPECT_EQ(sent_at[1] - sent_at[0], 333333);
    EXPECT_EQ(sent_at[2] - sent_at[0], 666666);
    EXPECT_EQ(sent_at[3] - sent_at[2], 1000000 + 2000000);

    // One try per cycle: the failure count is reached.
    SetUp();
    requests = 0;
    fake::set_send_hook([&](const fake::sent_packet& sent) {
        if (++requests % 3 == 0)
            fake::deliver(from(sent.destination, make_packet(reply_to(sent))));
    });
    w.settings.tries = 1;
    w.settings.failure_count = 2;
    EXPECT_EQ(start("10.0.0.1", 1, 30), 0);
    EXPECT_TRUE(rebooted());
}

TEST_F(ping_targets, a_silent_target_with_three_tries_times_out_once_per_one_second_cycle)
{
    std::vector<long long> sent_at;
    fake::set_send_hook([&](const fake::sent_packet&) { sent_at.push_back(now_microseconds()); });
    w.settings.tries = 3;
    w.settings.failure_count = 2;
    EXPECT_EQ(start("10.0.0.1", 1, -1), 0);
    EXPECT_TRUE(rebooted());
    EXPECT_EQ(fake::file_text(result_path).substr(fake::file_text(result_path).find("is 2\n") + 5),
              timed_out + timed_out + "It will be reboot  after 3 seconds!!!");
    ASSERT_EQ(sent_at.size(), 6u);
    // Each cycle takes its one-second budget, then the 2 s interval.
    EXPECT_EQ(sent_at[3] - sent_at[0], 1000000 + 2000000);
    std::vector<uint8_t> sequences;
    for (const auto& sent : fake::sent())
        sequences.push_back(sent.bytes[7]);
    EXPECT_EQ(sequences, (std::vector<uint8_t>{0, 1, 2, 3, 4, 5}));
}

TEST_F(ping_targets, a_reply_to_an_earlier_try_answers_the_cycle_once)
{
    // Each request is answered after 400 ms: the first try's reply comes
    // after the second try went out, the second try's reply counts no more.
    fake::set_send_hook(answer_after(400000));
    w.settings.tries = 3;
    w.settings.failure_count = 1;
    // Two waits in the first cycle; in the second a third reads the stale
    // reply to the first cycle's second try, which counts for nothing.
    EXPECT_EQ(start("10.0.0.1", 1, 2 + 3), 0);
    EXPECT_FALSE(rebooted());
    std::string result = fake::file_text(result_path);
    EXPECT_EQ(result.substr(result.find("is 1\n") + 5),
              "Reply from_pw 10.0.0.1: bytes=56 icmp_seq_pw=0 ttl=64 time=400.000 ms \r"
              "Reply from_pw 10.0.0.1: bytes=56 icmp_seq_pw=2 ttl=64 time=400.000 ms \r");
}

}  // namespace
