#include "dispatch.h"

#include "concat.h"
#include "handlers.h"
#include "paths.h"
#include "run_log.h"
#include "text.h"

#include <cstring>
#include <string>

namespace {
struct command_entry {
    const char* word;
    const char* log_text;
    int (*handler)(int, char**) noexcept;
};

const command_entry command_table[] = {
    {"get-wifi-ssid", "Running...main_get_wifi_ssid", main_get_wifi_ssid},
    {"vlan-mgt", "Running...main_vlan_mgt", main_vlan_mgt},
    {"vlan-wpa", "Running...main_vlan_wpa", main_vlan_wpa},
    {"vlan-priority", "Running...main_vlan_priority", main_vlan_priority},
    {"refresh-lan-ip", "Running...main_refresh_lan_ip", main_refresh_lan_ip},
    {"vlan-set-uhttpd", "Running...main_vlan_uhttpd", main_vlan_uhttpd},
};
}  // namespace

int zelvlan_main(int argc, char** argv) noexcept
{
    std::string stamp;
    time_stamp(stamp);

    std::string line;
    if (argc < 2) {
        line = log_line(stamp, "Running...zelvlan");
    } else {
        std::string option, word;
        field_of(option, argv[1], 0, '=');
        field_of(word, argv[1], 1, '=');
        const command_entry* chosen = nullptr;
        if (option.find("--app") != std::string::npos)
            for (const auto& entry : command_table)
                if (word == entry.word) {
                    chosen = &entry;
                    break;
                }
        if (chosen) {
            line = log_line(stamp, chosen->log_text);
            chosen->handler(argc, argv);
        } else {
            // No command ran; say so, so a caller's typo shows in the log.
            line = log_line(stamp, join_parts({"Running...zelvlan: unknown command [", argv[1], "]"}));
        }
    }
    append_line(line, paths::vlan_log);
    return 0;
}
