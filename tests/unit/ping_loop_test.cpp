#include "watchdog.h"

#include "fake_system.h"
#include "ping_packets.h"
#include "text.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/time.h>

using ping_test::make_packet;
using ping_test::packet_spec;
using ping_test::read_file;

namespace {

const std::string timed_out = "Request timed out.\r";
const std::string notice = "It will be reboot  after 3 seconds!!!";

class ping_loop : public ::testing::Test {
protected:
    ping_test::scratch_dir dir;
    ping_test::packet_pipe pipe;
    watchdog_settings settings;

    void SetUp() override
    {
        fake::reset();
        fake::set_clock(1796610512, 4120);
        close_watchdog();
        watchdog = watchdog_state();
        watchdog.identifier = 0x4242;
        settings.target_address = "10.9.8.7";
        settings.startup_delay = 5;
        settings.interval = 2;
        active_settings = &settings;
        ASSERT_EQ(open_result_file(dir.file()), 0);
        watchdog.socket_fd = pipe.watchdog_end();
    }
    void TearDown() override
    {
        // The pipe closes its own ends.
        watchdog.socket_fd = -1;
        close_watchdog();
        active_settings = nullptr;
    }

    // Queues two events for one cycle without waiting on the clock: our
    // reply and a stray packet, or two stray packets (which end the cycle
    // as a timeout would, with the timed-out record).
    void queue_cycle(char kind)
    {
        packet_spec stray;
        stray.identifier = 0x1111;
        if (kind == 'A') {
            ASSERT_TRUE(pipe.push(make_packet({})));
        } else {
            ASSERT_TRUE(pipe.push(make_packet(stray)));
        }
        ASSERT_TRUE(pipe.push(make_packet(stray)));
    }

};

struct pattern_case {
    const char* name;
    uint16_t failure_count;
    std::string cycles;  // A: answered, U: unanswered; the reboot follows the last
};

class ping_failure_pattern : public ping_loop, public ::testing::WithParamInterface<pattern_case> {};

TEST_P(ping_failure_pattern, reboots_after_the_expected_cycle)
{
    const auto& c = GetParam();
    for (char kind : c.cycles)
        queue_cycle(kind);

    std::vector<size_t> sleeps_at_command;
    fake::set_system_hook([&](const std::string&) { sleeps_at_command.push_back(fake::sleeps().size()); });

    EXPECT_EQ(watch_loop(c.failure_count), 0);
    EXPECT_EQ(watchdog.sent_mark, static_cast<int32_t>(c.cycles.size()));
    EXPECT_EQ(watchdog.socket_fd, -1);
    EXPECT_EQ(watchdog.result_file, nullptr);

    std::vector<std::string> commands = fake::system_commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[1], "reboot");
    // The history line carries the stamp of the moment and the target.
    EXPECT_EQ(commands[0].rfind("echo '[", 0), 0u);
    EXPECT_NE(commands[0].find("] Rebooted by ping watchdog.[IP]=[10.9.8.7]' >> /etc/reboot_history"),
              std::string::npos);

    // Sleeps: the startup delay, then the interval before every later cycle,
    // one second after each accepted reply and after each packet that
    // follows it in the cycle; one second between history line and reboot.
    std::vector<long long> expected_sleeps;
    for (size_t i = 0; i < c.cycles.size(); ++i) {
        expected_sleeps.push_back(i == 0 ? 5000 : 2000);
        if (c.cycles[i] == 'A') {
            expected_sleeps.push_back(1000);
            expected_sleeps.push_back(1000);
        }
    }
    ASSERT_EQ(sleeps_at_command.size(), 2u);
    EXPECT_EQ(sleeps_at_command[0], expected_sleeps.size());
    expected_sleeps.push_back(1000);
    EXPECT_EQ(sleeps_at_command[1], expected_sleeps.size());
    EXPECT_EQ(fake::sleeps(), expected_sleeps);
}

INSTANTIATE_TEST_SUITE_P(
    patterns, ping_failure_pattern,
    ::testing::Values(pattern_case{"down_from_start", 3, "UUU"},
                      pattern_case{"answers_in_cycles_1_and_4", 3, "AUUAUUU"},
                      pattern_case{"one_miss_is_enough", 1, "AAU"},
                      pattern_case{"alternating_never_reaches_two", 2, "UAUAUU"},
                      pattern_case{"long_run", 5, "AAAAUUUUAUUUUU"}),
    [](const ::testing::TestParamInfo<pattern_case>& info) { return info.param.name; });

TEST_F(ping_loop, result_file_holds_records_then_the_notice)
{
    for (char kind : std::string("AUUAUUU"))
        queue_cycle(kind);
    // The reply times follow the fake clock, so only the records' order and
    // shape are checked here.
    EXPECT_EQ(watch_loop(3), 0);
    std::string text = read_file(dir.file());
    ASSERT_GE(text.size(), notice.size());
    EXPECT_EQ(text.substr(text.size() - notice.size()), notice);
    std::string body = text.substr(0, text.size() - notice.size());
    size_t replies = 0, timeouts = 0, at = 0;
    while (at < body.size()) {
        if (body.compare(at, timed_out.size(), timed_out) == 0) {
            ++timeouts;
            at += timed_out.size();
        } else {
            ASSERT_EQ(body.compare(at, 31, "Reply from_pw 0.0.0.0: bytes=56"), 0) << body.substr(at);
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
    EXPECT_EQ(watch_loop(1), 0);
    EXPECT_EQ(watchdog.sent_mark, 1);
    EXPECT_EQ(read_file(dir.file()), timed_out + notice);
    std::string stamp = time_stamp_of({1796610512 + 5, 4120});
    EXPECT_EQ(fake::system_commands(),
              (std::vector<std::string>{"echo '[" + stamp +
                                            "] Rebooted by ping watchdog.[IP]=[10.9.8.7]' >> /etc/reboot_history",
                                        "reboot"}));
}

TEST_F(ping_loop, late_reply_to_an_earlier_request_resets_the_run)
{
    queue_cycle('U');
    queue_cycle('U');
    int highest = -2;
    ASSERT_EQ(watch_cycle(true, highest), 0);
    ASSERT_EQ(watch_cycle(false, highest), 0);
    EXPECT_EQ(watchdog.sent_mark - watchdog.answered_mark, 2);
    EXPECT_TRUE(reboot_due(2));

    // The reply to request 0 arrives during the third cycle.
    packet_spec late;
    late.sequence = 0;
    ASSERT_TRUE(pipe.push(make_packet(late)));
    queue_cycle('U');
    ASSERT_EQ(watch_cycle(false, highest), 0);
    EXPECT_EQ(watchdog.answered_mark, 3);
    EXPECT_FALSE(reboot_due(2));
    EXPECT_EQ(highest, pipe.watchdog_end());
}

TEST_F(ping_loop, failure_count_0_never_reboots)
{
    int highest = -2;
    for (char kind : std::string("AUUUUAAUUUUUUUUA")) {
        queue_cycle(kind);
        ASSERT_EQ(watch_cycle(false, highest), 0);
        EXPECT_FALSE(reboot_due(0)) << "after " << watchdog.sent_mark << " cycles";
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
    watchdog.sent_mark = c.sent;
    watchdog.answered_mark = c.answered;
    EXPECT_EQ(reboot_due(c.failure_count), c.due);
}

INSTANTIATE_TEST_SUITE_P(marks, ping_reboot_due,
                         ::testing::Values(due_case{3, 0, 3, true}, due_case{2, 0, 3, false}, due_case{7, 4, 3, true},
                                           due_case{4, 4, 0, false}, due_case{0, 0, 0, false},
                                           due_case{70000, 4464, 65535, false}, due_case{70000, 4465, 65535, true},
                                           due_case{1, 1, 1, false}));

TEST_F(ping_loop, wait_failure_ends_the_loop_without_reboot)
{
    // A descriptor number that is not open makes the wait fail.
    int stale = dup(pipe.watchdog_end());
    close(stale);
    watchdog.socket_fd = stale;
    EXPECT_EQ(watch_loop(1), -1);
    EXPECT_EQ(watchdog.result_file, nullptr);
    EXPECT_EQ(watchdog.socket_fd, -1);
    EXPECT_TRUE(fake::system_commands().empty());
}

TEST_F(ping_loop, no_socket_ends_the_loop_without_reboot)
{
    watchdog.socket_fd = -1;
    EXPECT_EQ(watch_loop(1), -1);
    EXPECT_TRUE(fake::system_commands().empty());
}

void ignore_alarm(int) {}

TEST_F(ping_loop, interrupted_wait_is_repeated_not_an_event)
{
    struct sigaction action {};
    action.sa_handler = ignore_alarm;  // no SA_RESTART: select sees EINTR
    struct sigaction previous {};
    sigaction(SIGALRM, &action, &previous);
    struct itimerval timer {};
    timer.it_value.tv_usec = 200000;
    setitimer(ITIMER_REAL, &timer, nullptr);

    int highest = -2;
    EXPECT_EQ(watch_cycle(true, highest), 0);
    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_EQ(watchdog.event_count, 2);
    EXPECT_EQ(read_file(dir.file()), timed_out);
    EXPECT_NE(watchdog.socket_fd, -1);
}

TEST_F(ping_loop, only_our_replies_count_once_filtered)
{
    install_reply_filter(pipe.watchdog_end(), watchdog.identifier);
    // A client pinging the device and other programs' replies, many times
    // over, then our reply: the cycle sees the reply as its first event.
    packet_spec request;
    request.type = 8;
    packet_spec other;
    other.identifier = 0x0101;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(pipe.push(make_packet(request)));
        ASSERT_TRUE(pipe.push(make_packet(other)));
    }
    ASSERT_TRUE(pipe.push(make_packet({})));
    int highest = -2;
    ASSERT_EQ(watch_cycle(true, highest), 0);
    EXPECT_EQ(watchdog.answered_mark, 1);
    EXPECT_EQ(watchdog.reply_flag, 1);
    EXPECT_FALSE(reboot_due(1));
}

}  // namespace
