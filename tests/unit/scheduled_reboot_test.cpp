#include "scheduled_reboot.h"

#include "fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

namespace {

using fixture::lines;

// 7 December 2026 at the given time of day, UTC (the fake's zone).
void set_time(int hour, int minute, int second, long microseconds = 0)
{
    struct tm day {};
    day.tm_year = 2026 - 1900;
    day.tm_mon = 11;
    day.tm_mday = 7;
    day.tm_hour = hour;
    day.tm_min = minute;
    day.tm_sec = second;
    fake::set_clock(static_cast<long>(timegm(&day)), microseconds);
}

long count_of(const std::vector<std::string>& commands, const std::string& text)
{
    return std::count(commands.begin(), commands.end(), text);
}

struct schedule_case {
    const char* name;
    int hour, minute, second;
    lines args;
    std::string stamp;   // of the clock at hour:minute:second
    std::string target;  // HH:MM:SS of the schedule lines
    std::string time_left;
    long seconds_left;
};

using schedules = fixture::fake_table<schedule_case>;

TEST_P(schedules, schedule_lines_and_first_time_left)
{
    const schedule_case& c = GetParam();
    set_time(c.hour, c.minute, c.second);
    reboot_schedule schedule;
    std::string line;
    ASSERT_EQ(walk_arguments(c.args, "stamp", schedule, line), 1);
    ASSERT_EQ(schedule_reboot(schedule), 0);
    long left = check_countdown(schedule, 0);
    EXPECT_EQ(fake::system_commands(),
              (lines{"echo '" + c.stamp + "Running...zelautoreboot at " + c.target + "(HH:MM:SS)' > /var/log/zelautoreboot",
                     "echo '" + c.stamp + "Scheduled reboot at " + c.target + "(HH:MM:SS)' >> /etc/reboot_history",
                     "echo '" + c.stamp + "Time left " + c.time_left + " (HH:MM:SS)' >> /var/log/zelautoreboot"}));
    EXPECT_EQ(left, c.seconds_left);
    ASSERT_EQ(fake::sleeps().size(), 1u);
    EXPECT_EQ(fake::sleeps()[0], (left - 1) * 1000);
}

const std::string hours = "-mode=By Number of Hours";
const std::string by_time = "-mode=By Time";

INSTANTIATE_TEST_SUITE_P(
    documented, schedules,
    ::testing::Values(
        schedule_case{"two_hours", 14, 20, 35, {"--app=autoreboot", hours, "-numofhours=2"},
                      "[07-12-2026 14:20:35.000000] ", "16:20:34", "01:59:59", 7199},
        schedule_case{"three_hours_from_second_0", 22, 10, 0, {"--app=autoreboot", hours, "-numofhours=3"},
                      "[07-12-2026 22:10:00.000000] ", "01:10:59", "03:00:59", 10859},
        schedule_case{"by_time_now_at_second_0", 9, 30, 0, {"--app=autoreboot", by_time, "-time=09:30"},
                      "[07-12-2026 09:30:00.000000] ", "09:30:59", "00:00:59", 59},
        schedule_case{"by_time_now_at_second_17", 9, 30, 17, {"--app=autoreboot", by_time, "-time=09:30"},
                      "[07-12-2026 09:30:17.000000] ", "09:30:16", "23:59:59", 86399},
        schedule_case{"by_time_later", 6, 0, 1, {"--app=autoreboot", "-time=07:45", by_time},
                      "[07-12-2026 06:00:01.000000] ", "07:45:00", "01:44:59", 6299},
        schedule_case{"zero_hours", 9, 30, 17, {"--app=autoreboot", hours, "-numofhours=0"},
                      "[07-12-2026 09:30:17.000000] ", "09:30:16", "23:59:59", 86399},
        schedule_case{"twenty_four_hours", 9, 30, 17, {"--app=autoreboot", hours, "-numofhours=24"},
                      "[07-12-2026 09:30:17.000000] ", "09:30:16", "23:59:59", 86399},
        schedule_case{"256_adds_nothing", 5, 0, 10, {"--app=autoreboot", hours, "-numofhours=256"},
                      "[07-12-2026 05:00:10.000000] ", "05:00:09", "23:59:59", 86399},
        schedule_case{"hour_sum_kept_to_8_bits", 23, 15, 30, {"--app=autoreboot", hours, "-numofhours=240"},
                      "[07-12-2026 23:15:30.000000] ", "07:15:29", "07:59:59", 28799},
        schedule_case{"hours_overwrite_time", 10, 0, 5, {"--app=autoreboot", hours, "-time=12:00", "-numofhours=1"},
                      "[07-12-2026 10:00:05.000000] ", "11:00:04", "00:59:59", 3599},
        schedule_case{"unknown_mode_works_by_time", 10, 0, 0, {"--app=autoreboot", "-mode=Weekly", "-time=12:00"},
                      "[07-12-2026 10:00:00.000000] ", "12:00:59", "02:00:59", 7259}),
    [](const ::testing::TestParamInfo<schedule_case>& info) { return std::string(info.param.name); });

// A target time that gives no hour and minute schedules nothing: no reboot
// at an arbitrary moment.
using unusable_targets = fixture::fake_table<lines>;

TEST_P(unusable_targets, nothing_scheduled)
{
    set_time(8, 0, 0);
    lines args = {"zelautoreboot", "--app=autoreboot"};
    args.insert(args.end(), GetParam().begin(), GetParam().end());
    EXPECT_EQ(fixture::run_main(zelautoreboot_main, args), 0);

    auto commands = fake::system_commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].rfind("echo '[07-12-2026 08:00:00.000000] No reboot scheduled: time=[", 0), 0u);
    EXPECT_NE(commands[0].find("] is not HH:MM' >> /var/log/zelautoreboot"), std::string::npos);
    // The command line's own line follows, as when the scheduler returns.
    EXPECT_NE(commands[1].find("] Running...main_zelautoreboot' >> /var/log/zelautoreboot"), std::string::npos);
    EXPECT_TRUE(fake::sleeps().empty());
    EXPECT_EQ(count_of(commands, "reboot"), 0);
}

INSTANTIATE_TEST_SUITE_P(by_time, unusable_targets,
                         ::testing::Values(lines{"-mode=By Time"}, lines{"-mode=By Time", "-time="},
                                           lines{"-mode=By Time", "-time=noon"}, lines{"-mode=By Time", "-time=24:00"},
                                           lines{"-mode=By Time", "-time=12:60"}, lines{"-mode=By Time", "-time=-1:30"},
                                           lines{"-mode=Weekly", "-time=1230"}, lines{}));

using countdown = fixture::fake_test;

TEST_F(countdown, long_sleep_then_300ms_checks_and_a_reboot_per_check_in_the_target_second)
{
    set_time(14, 20, 35, 250000);
    reboot_schedule schedule;
    std::string line;
    walk_arguments({"--app=autoreboot", hours, "-numofhours=2"}, "s", schedule, line);
    ASSERT_EQ(schedule_reboot(schedule), 0);
    size_t scheduling = fake::system_commands().size();
    run_countdown(schedule, 14);

    // Check 0 sleeps to 16:20:33.25; checks 1-2 find 1 second left, checks
    // 3-5 fall in the target second 34, check 6 finds the next day's target.
    std::vector<long long> expected_sleeps = {7198000, 300, 300, 300, 300, 300, 300, 86398000, 300,
                                              300,     300, 300, 300, 300, 300, 86398000, 300};
    EXPECT_EQ(fake::sleeps(), expected_sleeps);

    auto all = fake::system_commands();
    lines commands(all.begin() + static_cast<long>(scheduling), all.end());
    EXPECT_EQ(commands,
              (lines{
                  "echo '[07-12-2026 14:20:35.250000] Time left 01:59:59 (HH:MM:SS)' >> /var/log/zelautoreboot",
                  "echo '[07-12-2026 16:20:34.150000] Actually rebooted' >> /etc/reboot_history",
                  "reboot",
                  "echo '[07-12-2026 16:20:34.450000] Actually rebooted' >> /etc/reboot_history",
                  "reboot",
                  "echo '[07-12-2026 16:20:34.750000] Time left 00:00:00 (HH:MM:SS)' >> /var/log/zelautoreboot",
                  "echo '[07-12-2026 16:20:34.750000] Actually rebooted' >> /etc/reboot_history",
                  "reboot",
                  // The reboot did not happen: the same time on the next day.
                  "echo '[08-12-2026 16:20:34.250000] Time left 00:00:00 (HH:MM:SS)' >> /var/log/zelautoreboot",
                  "echo '[08-12-2026 16:20:34.250000] Actually rebooted' >> /etc/reboot_history",
                  "reboot",
                  "echo '[08-12-2026 16:20:34.550000] Actually rebooted' >> /etc/reboot_history",
                  "reboot",
                  "echo '[08-12-2026 16:20:34.850000] Actually rebooted' >> /etc/reboot_history",
                  "reboot",
              }));
}

TEST_F(countdown, interrupted_long_sleep_is_resumed)
{
    set_time(22, 10, 0);
    reboot_schedule schedule;
    std::string line;
    walk_arguments({"--app=autoreboot", hours, "-numofhours=3"}, "s", schedule, line);
    ASSERT_EQ(schedule_reboot(schedule), 0);
    fake::interrupt_sleeps(1);
    EXPECT_EQ(check_countdown(schedule, 1), 10859);
    EXPECT_EQ(fake::sleeps(), (std::vector<long long>{10858000 / 2, 10858000 / 2}));
    EXPECT_EQ(check_countdown(schedule, 1), 1);
    fake::set_clock(fake::clock_now().tv_sec + 1, 0);
    EXPECT_EQ(check_countdown(schedule, 1), 0);
    EXPECT_EQ(fake::system_commands().back(), "reboot");
}

TEST_F(countdown, unreadable_clock_does_nothing)
{
    set_time(12, 0, 0);
    reboot_schedule schedule;
    schedule.target_time = "12:00";
    schedule.second = 0;
    fake::set_clock_failing(true);
    testing::internal::CaptureStderr();
    EXPECT_EQ(check_countdown(schedule, 0), -1);
    EXPECT_EQ(schedule_reboot(schedule), -1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_of(fake::system_commands(), "reboot"), 0);
    EXPECT_TRUE(fake::sleeps().empty());
}

using command_line = fixture::fake_test;

TEST_F(command_line, options_before_the_starting_argument_are_never_read)
{
    reboot_schedule schedule;
    std::string line;
    EXPECT_EQ(walk_arguments({"-mode=By Time", "-time=12:00", "--app=autoreboot", hours, "-numofhours=2"}, "S",
                             schedule, line),
              1);
    EXPECT_EQ(schedule.mode, "By Number of Hours");
    EXPECT_EQ(schedule.target_time, "");
    EXPECT_EQ(schedule.number_of_hours, 2);
    EXPECT_EQ(line, "[S] numofhours=[2][S] mode=[By Number of Hours][S] Running...main_zelautoreboot");
}

TEST_F(command_line, starting_argument_last_reads_no_option)
{
    reboot_schedule schedule;
    std::string line;
    EXPECT_EQ(walk_arguments({"-mode=By Time", "-time=12:00", "--app=autoreboot"}, "S", schedule, line), 1);
    EXPECT_EQ(schedule.mode, "");
    EXPECT_EQ(schedule.target_time, "");
    EXPECT_EQ(line, "[S] Running...main_zelautoreboot");
}

TEST_F(command_line, without_start_every_option_is_logged_from_last_to_first)
{
    reboot_schedule schedule;
    std::string line;
    EXPECT_EQ(walk_arguments({"--app=autoreboots", "-time=07:05", "x=1", "-mode=By Time", "--app"}, "S", schedule,
                             line),
              0);
    EXPECT_EQ(line, "[S] mode=[By Time][S] time=[07:05]");
}

TEST_F(command_line, long_and_hostile_texts_are_carried_whole)
{
    const std::string mode(300, 'M'), time(50, '1');
    EXPECT_EQ(fixture::run_main(zelautoreboot_main, {"zelautoreboot", "-time=" + time, "-mode=" + mode + "'x"}), 0);
    EXPECT_EQ(fake::system_commands(), lines{"echo '" + fixture::stamp + "mode=[" + mode + R"('\''x])" +
                                             fixture::stamp + "time=[" + time + "]' >> /var/log/zelautoreboot"});
}

TEST_F(command_line, no_arguments)
{
    set_time(1, 2, 3);
    EXPECT_EQ(fixture::run_main(zelautoreboot_main, {"zelautoreboot"}), 0);
    EXPECT_EQ(fake::system_commands(),
              lines{"echo '[07-12-2026 01:02:03.000000] Running...zelautoreboot' >> /var/log/zelautoreboot"});
}

struct hours_case {
    const char* text;
    uint16_t stored;
};

using number_of_hours = fixture::fake_table<hours_case>;

TEST_P(number_of_hours, kept_to_16_bits)
{
    reboot_schedule schedule;
    std::string line;
    walk_arguments({std::string("-numofhours=") + GetParam().text}, "S", schedule, line);
    EXPECT_EQ(schedule.number_of_hours, GetParam().stored);
    EXPECT_EQ(line, "[S] numofhours=[" + std::to_string(GetParam().stored) + "]");
}

INSTANTIATE_TEST_SUITE_P(values, number_of_hours,
                         ::testing::Values(hours_case{"2", 2}, hours_case{"256", 256}, hours_case{"65536", 0},
                                           hours_case{"70000", 4464}, hours_case{"-1", 65535},
                                           hours_case{"abc", 0}, hours_case{"", 0}, hours_case{"12h", 12}));

}  // namespace
