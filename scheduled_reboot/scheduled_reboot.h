// zelautoreboot: reboots the device at a time of day ("By Time") or a number
// of hours after it was started ("By Number of Hours").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct reboot_schedule {
    uint8_t hour = 0;     // at scheduling; the target hour in "By Number of Hours"
    uint8_t minute = 0;   // at scheduling
    uint8_t second = 0;   // at scheduling, then the target second
    uint16_t number_of_hours = 0;
    std::string mode;         // "By Time" or "By Number of Hours"
    std::string target_time;  // "HH:MM"
};

// Walks the arguments (without the program name) from the last one down to
// the first, applying the options to the schedule and appending their pieces
// to line. Stops at "--app=autoreboot" and returns 1 (the piece of that
// argument appended); the arguments before it are never read. Returns 0 when
// no such argument was found.
int walk_arguments(const std::vector<std::string>& args, const std::string& stamp,
                   reboot_schedule& schedule, std::string& line);

// Stores the hour, minute and second of the current local time. -1 (and the
// schedule unchanged) when the clock can't be read.
int read_clock(reboot_schedule& schedule);

// Computes the target and writes the schedule lines: the run log is replaced
// by the "Running...zelautoreboot at" line and the reboot history gains the
// "Scheduled reboot at" line. Returns 0, or -1 when no sound target exists (a
// target time that does not read as HH:MM, an unreadable clock): that is
// logged and nothing is scheduled.
int schedule_reboot(reboot_schedule& schedule);

// One step of the countdown: logs the time left on every 5th check, reboots
// when the target second has come, and sleeps until one second before the
// target when it is 2 or more seconds away. Returns the seconds left, or -1
// when the clock can't be read (nothing is done then).
long check_countdown(const reboot_schedule& schedule, uint64_t check_number);

// checks countdown steps, each followed by 300 ms of sleep.
void run_countdown(const reboot_schedule& schedule, uint64_t checks);

// schedule_reboot, then the countdown for ever. Returns only when nothing
// could be scheduled.
void run_scheduler(reboot_schedule& schedule);

int zelautoreboot_main(int argc, char** argv);
