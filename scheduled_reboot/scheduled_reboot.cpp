#include "scheduled_reboot.h"

#include "commands.h"
#include "paths.h"
#include "run_log.h"
#include "sleep.h"
#include "text.h"

#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

constexpr long seconds_per_hour = 3600;
constexpr long seconds_per_minute = 60;
constexpr long seconds_per_day = 86400;
constexpr uint32_t check_interval_ms = 300;
constexpr uint64_t time_left_every = 5;

std::string two_digits(long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02ld", value);
    return text;
}

// Hour, minute and second of a time stamp 'DD-MM-YYYY HH:MM:SS.uuuuuu'.
bool clock_of_stamp(const std::string& stamp, int& hour, int& minute, int& second)
{
    return std::sscanf(stamp.c_str(), "%*2d-%*2d-%*4d %2d:%2d:%2d.%*6d", &hour, &minute, &second) == 3;
}

bool current_clock(std::string& stamp, int& hour, int& minute, int& second)
{
    stamp.clear();
    time_stamp(stamp);
    return clock_of_stamp(stamp, hour, minute, second);
}

// The target time text as hour and minute of a day; anything else (empty,
// not two numbers, out of range) has no target.
bool target_of(const std::string& text, int& hour, int& minute)
{
    return std::sscanf(text.c_str(), "%2d:%2d", &hour, &minute) == 2 && hour >= 0 && hour <= 23 &&
           minute >= 0 && minute <= 59;
}

uint16_t hours_of(const std::string& value)
{
    long number = std::strtol(value.c_str(), nullptr, 10);
    return static_cast<uint16_t>(static_cast<unsigned long>(number));
}

}  // namespace

int walk_arguments(const std::vector<std::string>& args, const std::string& stamp,
                   reboot_schedule& schedule, std::string& line)
{
    for (std::size_t i = args.size(); i-- > 0;) {
        std::string name, value;
        field_of(name, args[i], 0, '=');
        field_of(value, args[i], 1, '=');
        if (name.find("--app") != std::string::npos) {
            if (value == "autoreboot") {
                line += log_line(stamp, "Running...main_zelautoreboot");
                return 1;
            }
        } else if (name.find("-mode") != std::string::npos) {
            schedule.mode = value;
            line += log_line(stamp, "mode=[" + value + "]");
        } else if (name.find("-time") != std::string::npos) {
            schedule.target_time = value;
            line += log_line(stamp, "time=[" + value + "]");
        } else if (name.find("-numofhours") != std::string::npos) {
            schedule.number_of_hours = hours_of(value);
            line += log_line(stamp, "numofhours=[" + std::to_string(schedule.number_of_hours) + "]");
        }
    }
    return 0;
}

int read_clock(reboot_schedule& schedule)
{
    std::string stamp;
    int hour, minute, second;
    if (!current_clock(stamp, hour, minute, second))
        return -1;
    schedule.hour = static_cast<uint8_t>(hour);
    schedule.minute = static_cast<uint8_t>(minute);
    schedule.second = static_cast<uint8_t>(second);
    return 0;
}

int schedule_reboot(reboot_schedule& schedule)
{
    if (read_clock(schedule) != 0) {
        // Without the time of day there is no target to count down to.
        std::string stamp;
        time_stamp(stamp);
        append_line(log_line(stamp, "No reboot scheduled: the clock can't be read"), paths::autoreboot_log);
        return -1;
    }
    if (schedule.mode.find("By Time") == std::string::npos &&
        schedule.mode.find("By Number of Hours") != std::string::npos) {
        // The sum is kept to 8 bits before the modulo, as the device has always done.
        uint8_t low_hours = static_cast<uint8_t>(schedule.number_of_hours & 0xff);
        schedule.hour = static_cast<uint8_t>(static_cast<uint8_t>(schedule.hour + low_hours) % 24);
        schedule.target_time = two_digits(schedule.hour) + ":" + two_digits(schedule.minute);
    }
    int target_hour, target_minute;
    if (!target_of(schedule.target_time, target_hour, target_minute)) {
        // A reboot at an arbitrary moment is worse than none.
        std::string stamp;
        time_stamp(stamp);
        append_line(log_line(stamp, "No reboot scheduled: time=[" + schedule.target_time + "] is not HH:MM"),
                    paths::autoreboot_log);
        return -1;
    }
    schedule.second = schedule.second != 0 ? static_cast<uint8_t>(schedule.second - 1) : 59;

    std::string stamp;
    time_stamp(stamp);
    std::string target = schedule.target_time + ":" + two_digits(schedule.second) + "(HH:MM:SS)";
    replace_with_line(log_line(stamp, "Running...zelautoreboot at " + target), paths::autoreboot_log);
    append_line(log_line(stamp, "Scheduled reboot at " + target), paths::reboot_history);
    return 0;
}

long check_countdown(const reboot_schedule& schedule, uint64_t check_number)
{
    std::string stamp;
    int hour, minute, second;
    int target_hour, target_minute;
    if (!current_clock(stamp, hour, minute, second) ||
        !target_of(schedule.target_time, target_hour, target_minute))
        return -1;

    long left = (target_hour * seconds_per_hour + target_minute * seconds_per_minute + schedule.second) -
                (hour * seconds_per_hour + minute * seconds_per_minute + second);
    if (left < 0)
        left += seconds_per_day;

    if (check_number % time_left_every == 0) {
        std::string text = "Time left " + two_digits(left / seconds_per_hour) + ":" +
                           two_digits(left % seconds_per_hour / seconds_per_minute) + ":" +
                           two_digits(left % seconds_per_minute) + " (HH:MM:SS)";
        append_line(log_line(stamp, text), paths::autoreboot_log);
    }
    if (left == 0) {
        std::string now;
        time_stamp(now);
        append_line(log_line(now, "Actually rebooted"), paths::reboot_history);
        reboot_device();
    }
    if (left >= 2)
        sleep_ms(static_cast<uint32_t>((left - 1) * 1000));
    return left;
}

void run_countdown(const reboot_schedule& schedule, uint64_t checks)
{
    for (uint64_t check = 0; check < checks; ++check) {
        check_countdown(schedule, check);
        sleep_ms(check_interval_ms);
    }
}

void run_scheduler(reboot_schedule& schedule)
{
    if (schedule_reboot(schedule) != 0)
        return;
    // At one check per 300 ms this count is never used up.
    run_countdown(schedule, std::numeric_limits<uint64_t>::max());
}

int zelautoreboot_main(int argc, char** argv)
{
    std::string stamp;
    time_stamp(stamp);
    reboot_schedule schedule;
    std::string line;
    if (argc <= 1) {
        line = log_line(stamp, "Running...zelautoreboot");
    } else {
        std::vector<std::string> args(argv + 1, argv + argc);
        if (walk_arguments(args, stamp, schedule, line) == 1)
            run_scheduler(schedule);
    }
    append_line(line, paths::autoreboot_log);
    return 0;
}
