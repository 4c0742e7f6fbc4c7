// The reboot limit (-maxreboots=N): a host that stays down for good must not
// keep the device in a reboot loop. The number of reboots that came one
// after the other with no answered request in between survives the reboots
// in a small file; the watchdog writes it only just before a reboot and
// removes it at the first answered request, so a device whose target
// answers writes nothing to its flash.
#include "watchdog.h"

#include "paths.h"
#include "run_log.h"
#include "system_io.h"
#include "text.h"

#include <cstdio>
#include <cstdlib>

void load_reboot_count(watchdog_state& w)
{
    w.reboots_in_row = 0;
    w.count_on_flash = false;
    w.limit_holds = false;
    if (w.settings.max_reboots == 0)
        return;
    std::string text;
    if (file_read(paths::pingwdog_reboots, text) != 0)
        return;
    w.count_on_flash = true;
    long count = std::strtol(text.c_str(), nullptr, 10);
    w.reboots_in_row = count > 0 && count < 65536 ? static_cast<int>(count) : 0;
}

void note_answered(watchdog_state& w)
{
    w.limit_holds = false;
    w.reboots_in_row = 0;
    if (w.count_on_flash) {
        file_remove(paths::pingwdog_reboots);
        w.count_on_flash = false;
    }
}

bool reboot_limit_reached(watchdog_state& w)
{
    int limit = w.settings.max_reboots;
    if (limit == 0 || w.reboots_in_row < limit)
        return false;
    char notice[64];
    std::snprintf(notice, sizeof notice, "Reboot limit of %d reached: not rebooted", limit);
    write_result_text(w, std::string(notice) + "\r");
    std::string stamp;
    time_stamp(stamp);
    append_line(log_line(stamp, notice), paths::pingwdog_log);
    w.limit_holds = true;
    return true;
}

void count_reboot(watchdog_state& w)
{
    if (w.settings.max_reboots == 0)
        return;
    ++w.reboots_in_row;
    file_write(paths::pingwdog_reboots, std::to_string(w.reboots_in_row) + "\n");
    w.count_on_flash = true;
}

void write_timed_out(watchdog_state& w)
{
    // While the limit holds the watchdog may watch a dead host for days with
    // no reply to empty its file at: it is emptied here as well then.
    if (w.limit_holds)
        empty_result_file_when_full(w);
    write_result_text(w, "Request timed out.\r");
}
