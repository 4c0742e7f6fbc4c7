#include "watchdog.h"

#include "fake_system.h"
#include "ping_packets.h"
#include "system_io.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/time.h>

namespace {

using namespace ping_test;

class ping_loop : public ::testing::Test {
protected:
    watchdog_state w;

    void SetUp() override
    {
        fake::reset();
        fake::set_clock(1796610512, 4120);
        w.identifier = 0x4242;
        w.settings.target_address = "10.9.8.7";
        w.settings.startup_delay = 5;
        w.settings.interval = 2;
        ASSERT_TRUE(convert_target(w, "10.9.8.7", AF_INET));
        ASSERT_EQ(open_result_file(w, result_path), 0);
        w.socket_fd = raw_socket_open(AF_INET, 1);
    }
    void TearDown() override { close_watchdog(w); }

    std::string result() const { return fake::file_text(result_path); }

    // Queues two events for one cycle without waiting on the clock: our
    // reply and a stray packet, or two stray packets (which end the cycle
    // as a timeout would, with the timed-out record).
    void queue_cycle(char kind)
    {
        packet_spec stray;
        stray.identifier = 0x1111;
        fake::deliver(from("10.9.8.7", make_packet(kind == 'A' ? packet_spec() : stray)));
        fake::deliver(from("10.9.8.7", make_packet(stray)));
    }

};

struct pattern_case {
    const char* name;
    uint16_t failure_count;
    // A: answered, U: unanswered, R: the interface restarted after the
    // cycle before; the reboot follows the last.
    std::string cycles;
    const char* interface = "";
};

class ping_failure_pattern : public ping_loop, public ::testing::WithParamInterface<pattern_case> {};

TEST_P(ping_failure_pattern, reboots_after_the_expected_cycle)
{
    const auto& c = GetParam();
    w.settings.restart_interface = c.interface;
    const auto restarts = static_cast<size_t>(std::count(c.cycles.begin(), c.cycles.end(), 'R'));
    for (char kind : c.cycles)
        if (kind != 'R')
            queue_cycle(kind);

    std::vector<size_t> sleeps_at_command;
    fake::set_system_hook([&](const std::string&) { sleeps_at_command.push_back(fake::sleeps().size()); });

    EXPECT_EQ(watch_loop(w, c.failure_count), 0);
    EXPECT_EQ(w.sent_mark, static_cast<int32_t>(c.cycles.size() - restarts));
    EXPECT_EQ(w.socket_fd, -1);
    EXPECT_EQ(w.result_file, nullptr);

    std::vector<std::string> commands = fake::system_commands();
    ASSERT_EQ(commands.size(), 2 * restarts + 2);
    for (size_t r = 0; r < restarts; ++r) {
        EXPECT_EQ(commands[2 * r].rfind("echo '[", 0), 0u);
        EXPECT_NE(commands[2 * r].find("] Restarting interface wan' >> /var/log/zelpingwdog"), std::string::npos)
            << commands[2 * r];
        EXPECT_EQ(commands[2 * r + 1], "ifup wan");
    }
    EXPECT_EQ(commands.back(), "reboot");
    // The history line carries the stamp of the moment and the target.
    const std::string& history = commands[commands.size() - 2];
    EXPECT_EQ(history.rfind("echo '[", 0), 0u);
    EXPECT_NE(history.find("] Rebooted by ping watchdog.[IP]=[10.9.8.7]' >> /etc/reboot_history"), std::string::npos);

    // Sleeps: the startup delay, then the interval before every later cycle,
    // one second after each accepted reply and after each packet that
    // follows it in the cycle; the startup delay in place of the interval
    // after a restart; one second between history line and reboot.
    std::vector<long long> expected_sleeps;
    std::vector<size_t> expected_at_command;
    for (size_t i = 0; i < c.cycles.size(); ++i) {
        if (c.cycles[i] == 'R') {
            expected_at_command.insert(expected_at_command.end(), 2, expected_sleeps.size());
            continue;
        }
        expected_sleeps.push_back(i == 0 || c.cycles[i - 1] == 'R' ? 5000 : 2000);
        if (c.cycles[i] == 'A') {
            expected_sleeps.push_back(1000);
            expected_sleeps.push_back(1000);
        }
    }
    expected_at_command.push_back(expected_sleeps.size());
    expected_sleeps.push_back(1000);
    expected_at_command.push_back(expected_sleeps.size());
    EXPECT_EQ(sleeps_at_command, expected_at_command);
    EXPECT_EQ(fake::sleeps(), expected_sleeps);
    EXPECT_TRUE(fake::file_changes().empty()) << "without a reboot limit nothing is counted";
}

INSTANTIATE_TEST_SUITE_P(
    patterns, ping_failure_pattern,
    ::testing::Values(pattern_case{"down_from_start", 3, "UUU"},
                      pattern_case{"answers_in_cycles_1_and_4", 3, "AUUAUUU"},
                      pattern_case{"one_miss_is_enough", 1, "AAU"},
                      pattern_case{"alternating_never_reaches_two", 2, "UAUAUU"},
                      pattern_case{"long_run", 5, "AAAAUUUUAUUUUU"},
                      pattern_case{"restart_then_failcount_more", 3, "AUUURUUU", "wan"},
                      pattern_case{"answer_after_restart_rearms_it", 2, "UURAUURUU", "wan"},
                      pattern_case{"answer_in_the_second_run_rearms_it", 2, "UURUAUURUU", "wan"},
                      pattern_case{"restart_each_time_for_failcount_1", 1, "URAURU", "wan"}),
    [](const ::testing::TestParamInfo<pattern_case>& info) { return info.param.name; });

TEST_F(ping_loop, result_file_holds_records_then_the_notice)
{
    for (char kind : std::string("AUUAUUU"))
        queue_cycle(kind);
    // The reply times follow the fake clock, so only the records' order and
    // shape are checked here.
    EXPECT_EQ(watch_loop(w, 3), 0);
    std::string text = result();
    ASSERT_GE(text.size(), reboot_notice.size());
    EXPECT_EQ(text.substr(text.size() - reboot_notice.size()), reboot_notice);
    std::string body = text.substr(0, text.size() - reboot_notice.size());
    size_t replies = 0, timeouts = 0, at = 0;
    while (at < body.size()) {
        if (body.compare(at, timed_out.size(), timed_out) == 0) {
            ++timeouts;
            at += timed_out.size();
        } else {
            ASSERT_EQ(body.compare(at, 32, "Reply from_pw 10.9.8.7: bytes=56"), 0) << body.substr(at);
            at = body.find(" ms \r", at);
            ASSERT_NE(at, std::string::npos);
            at += 5;
            ++replies;
        }
    }
    EXPECT_EQ(replies, 2u);
    EXPECT_EQ(timeouts, 5u);
}

TEST_F(ping_loop, silent_host_times_out_once_per_cycle)
{
    // No packets at all: the one-second budget runs out, the second wait
    // returns at once, and the cycle ends with one timed-out record.
    EXPECT_EQ(watch_loop(w, 1), 0);
    EXPECT_EQ(w.sent_mark, 1);
    EXPECT_EQ(result(), timed_out + reboot_notice);
    // The startup delay, then the whole budget of the wait that timed out.
    std::string stamp = time_stamp_of({1796610512 + 5 + 1, 4120});
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{"echo '[" + stamp +
                                            "] Rebooted by ping watchdog.[IP]=[10.9.8.7]' >> /etc/reboot_history",
                                        "reboot"}));
}

TEST_F(ping_loop, silent_host_restarts_the_interface_then_reboots)
{
    w.settings.restart_interface = "wan";
    EXPECT_EQ(watch_loop(w, 2), 0);
    EXPECT_EQ(w.sent_mark, 4);
    EXPECT_EQ(result(), timed_out + timed_out + timed_out + timed_out + reboot_notice);
    // The startup delay and two silent cycles, the second a second after
    // the interval; after the restart the same again.
    std::string restarted = time_stamp_of({1796610512 + 5 + 1 + 2 + 1, 4120});
    std::string rebooted = time_stamp_of({1796610512 + 5 + 1 + 2 + 1 + 5 + 1 + 2 + 1, 4120});
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{
                  "echo '[" + restarted + "] Restarting interface wan' >> /var/log/zelpingwdog", "ifup wan",
                  "echo '[" + rebooted + "] Rebooted by ping watchdog.[IP]=[10.9.8.7]' >> /etc/reboot_history",
                  "reboot"}));
    EXPECT_TRUE(fake::file_changes().empty());
}

TEST_F(ping_loop, late_reply_to_an_earlier_request_resets_the_run)
{
    queue_cycle('U');
    queue_cycle('U');
    int highest = -2;
    ASSERT_EQ(watch_cycle(w, true, highest), 0);
    ASSERT_EQ(watch_cycle(w, false, highest), 0);
    EXPECT_EQ(w.sent_mark - w.answered_mark, 2);
    EXPECT_TRUE(reboot_due(w, 2));

    // The reply to request 0 arrives during the third cycle.
    packet_spec late;
    late.sequence = 0;
    fake::deliver(from("10.9.8.7", make_packet(late)));
    queue_cycle('U');
    ASSERT_EQ(watch_cycle(w, false, highest), 0);
    EXPECT_EQ(w.answered_mark, 3);
    EXPECT_FALSE(reboot_due(w, 2));
    EXPECT_EQ(highest, w.socket_fd);
}

TEST_F(ping_loop, failure_count_0_never_reboots)
{
    int highest = -2;
    for (char kind : std::string("AUUUUAAUUUUUUUUA")) {
        queue_cycle(kind);
        ASSERT_EQ(watch_cycle(w, false, highest), 0);
        EXPECT_FALSE(reboot_due(w, 0)) << "after " << w.sent_mark << " cycles";
    }
    EXPECT_TRUE(fake::system_commands().empty());
}

struct due_case {
    int32_t sent, answered;
    uint16_t failure_count;
    bool due;
};

class ping_reboot_due : public ::testing::TestWithParam<due_case> {};

TEST_P(ping_reboot_due, only_on_equality_and_never_for_0)
{
    const auto& c = GetParam();
    watchdog_state w;
    w.sent_mark = c.sent;
    w.answered_mark = c.answered;
    EXPECT_EQ(reboot_due(w, c.failure_count), c.due);
}

INSTANTIATE_TEST_SUITE_P(marks, ping_reboot_due,
                         ::testing::Values(due_case{3, 0, 3, true}, due_case{2, 0, 3, false}, due_case{7, 4, 3, true},
                                           due_case{4, 4, 0, false}, due_case{0, 0, 0, false},
                                           due_case{70000, 4464, 65535, false}, due_case{70000, 4465, 65535, true},
                                           due_case{1, 1, 1, false}));

TEST_F(ping_loop, wait_failure_ends_the_loop_without_reboot)
{
    // A descriptor number that is not open makes the wait fail.
    w.socket_fd = 5;
    EXPECT_EQ(watch_loop(w, 1), -1);
    EXPECT_EQ(w.result_file, nullptr);
    EXPECT_EQ(w.socket_fd, -1);
    EXPECT_TRUE(fake::system_commands().empty());
}

TEST_F(ping_loop, no_socket_ends_the_loop_without_reboot)
{
    close_watchdog(w);
    ASSERT_EQ(open_result_file(w, result_path), 0);
    EXPECT_EQ(watch_loop(w, 1), -1);
    EXPECT_TRUE(fake::system_commands().empty());
}

TEST_F(ping_loop, interrupted_wait_is_repeated_not_an_event)
{
    fake::interrupt_waits(1);
    int highest = -2;
    EXPECT_EQ(watch_cycle(w, true, highest), 0);
    EXPECT_EQ(w.event_count, 2);
    EXPECT_EQ(fake::waits(), 3);
    EXPECT_EQ(result(), timed_out);
    EXPECT_NE(w.socket_fd, -1);
    // Half the budget before the interruption, the other half after it.
    EXPECT_EQ(fake::clock_now().tv_sec, 1796610512 + 5 + 1);
    EXPECT_EQ(fake::clock_now().tv_usec, 4120);
}

TEST_F(ping_loop, each_cycle_sends_one_request_to_the_target)
{
    // The host answers every request with its own bytes turned into a reply.
    fake::set_send_hook([](const fake::sent_packet& sent) {
        std::vector<unsigned char> reply(20, 0);
        reply[0] = 0x45;
        reply[8] = 63;
        reply.insert(reply.end(), sent.bytes.begin(), sent.bytes.end());
        reply[20] = 0;
        fake::deliver(from(sent.destination, reply));
    });
    int highest = -2;
    for (int cycle = 0; cycle < 3; ++cycle)
        ASSERT_EQ(watch_cycle(w, cycle == 0, highest), 0);
    ASSERT_EQ(fake::sent().size(), 3u);
    for (const auto& sent : fake::sent()) {
        EXPECT_EQ(sent.destination, "10.9.8.7");
        EXPECT_EQ(sent.bytes.size(), 64u);
    }
    EXPECT_EQ(w.answered_mark, 3);
    EXPECT_EQ(result(), "Reply from_pw 10.9.8.7: bytes=56 icmp_seq_pw=0 ttl=63 time=0.000 ms \r"
                        "Reply from_pw 10.9.8.7: bytes=56 icmp_seq_pw=1 ttl=63 time=0.000 ms \r"
                        "Reply from_pw 10.9.8.7: bytes=56 icmp_seq_pw=2 ttl=63 time=0.000 ms \r");
}

// ---- the one-second budget, whatever the C library's select leaves in its timeout ----

struct cycle_length_case {
    const char* name;
    bool wait_writes_back;  // glibc writes the time left back, musl does not
    const char* events;     // A: our reply, S: a stray packet, I: an interrupted wait
    long long microseconds; // from the send to the end of the cycle
};

class ping_cycle_length : public ping_loop, public ::testing::WithParamInterface<cycle_length_case> {};

TEST_P(ping_cycle_length, follows_the_budget)
{
    const auto& c = GetParam();
    fake::wait_writes_back_time_left(c.wait_writes_back);
    packet_spec stray;
    stray.identifier = 0x1111;
    for (const char* e = c.events; *e; ++e) {
        if (*e == 'I')
            fake::interrupt_waits(1);
        else
            fake::deliver(from("10.9.8.7", make_packet(*e == 'A' ? packet_spec() : stray)));
    }
    int highest = -2;
    struct timeval start = fake::clock_now();
    ASSERT_EQ(watch_cycle(w, false, highest), 0);
    struct timeval end = fake::clock_now();
    long long length = (end.tv_sec - start.tv_sec) * 1000000LL + (end.tv_usec - start.tv_usec) - 2000000;
    EXPECT_EQ(length, c.microseconds);
    EXPECT_EQ(w.event_count, 2);
}

INSTANTIATE_TEST_SUITE_P(
    libraries, ping_cycle_length,
    ::testing::Values(cycle_length_case{"silent_glibc", true, "", 1000000},
                      cycle_length_case{"silent_musl", false, "", 1000000},
                      cycle_length_case{"reply_glibc", true, "A", 2000000},
                      cycle_length_case{"reply_musl", false, "A", 2000000},
                      cycle_length_case{"stray_then_reply_musl", false, "SA", 1000000},
                      cycle_length_case{"interrupted_glibc", true, "I", 1000000},
                      cycle_length_case{"interrupted_musl", false, "I", 1000000}),
    [](const ::testing::TestParamInfo<cycle_length_case>& info) { return info.param.name; });

}  // namespace
