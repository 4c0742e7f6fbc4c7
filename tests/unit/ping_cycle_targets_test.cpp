// Cycles with several targets, several tries, and slow or lossy links.
#include "watchdog.h"

#include "fake_system.h"
#include "ping_packets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <set>

namespace {

using namespace ping_test;

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
