// vlan-wpa: restarts the security daemon of every encrypted Wi-Fi interface
// on the VLAN or switch-VLAN bridge that the interface belongs to.
#include "handlers.h"

#include "commands.h"
#include "concat.h"
#include "paths.h"
#include "queries.h"
#include "run_log.h"
#include "system.h"
#include "text.h"
#include "uci_read.h"

#include <string>

namespace {

const int last_checked_index = 32;

void log_text(std::string_view text) noexcept
{
    std::string stamp;
    time_stamp(stamp);
    append_line(log_line(stamp, text), paths::vlan_log);
}

struct interface_files {
    std::string name;  // ath<a>
    std::string pid;   // /var/run/wifi-ath<a>.pid
    std::string conf;  // hostapd or wpa_supplicant configuration
};

// The switch-VLAN section name goes into a sed expression and a bridge name;
// only a plain UCI section name is used.
bool switch_target(const std::string& name, std::string& section) noexcept
{
    return vlansw_of_ifname(name, section) == 1 && plain_name(section);
}

void restart_hostapd(const interface_files& f, const std::string& bridge) noexcept
{
    command_batch batch;
    restart_hostapd(batch, f.conf, f.pid, bridge);
    run_batch(batch);
}

void restart_wpa_supplicant(const interface_files& f, const std::string& bridge) noexcept
{
    command_batch batch;
    restart_wpa_supplicant(batch, f.name, f.conf, f.pid, bridge);
    run_batch(batch);
}

// Restarts the daemon on the bridge of the VLAN, then on the switch-VLAN
// bridge, that lists the interface. mode is "AP" or "STA" in the log lines.
void rebridge(const interface_files& f, const std::string& encryption, const char* mode,
              void (*restart)(const interface_files&, const std::string&) noexcept) noexcept
{
    int id = 0;
    if (vlan_of_ifname(f.name, id) == 1) {
        const decimal number(id);
        log_text(join_parts({"[vlan_wpa] ", mode, " mode ", f.name, " for VLAN ", number, " with encryption[",
                             encryption, "]"}));
        restart(f, join_parts({"vlan", number}));
    }
    std::string section;
    if (switch_target(f.name, section)) {
        log_text(join_parts({"[vlan_wpa] ", mode, " mode, Ethernet trunk ", section, " at ", f.name,
                             " with encryption[", encryption, "]"}));
        restart(f, section);
    }
}

}  // namespace

int main_vlan_wpa(int, char**) noexcept
{
    for (int a = 0;; ++a) {
        const std::string iface = join_parts({"wireless.@wifi-iface[", decimal(a), "]"});
        std::string encryption, mode;
        if (uci_get(join_parts({iface, ".encryption"}), encryption) != 0)
            break;
        if (encryption.find("none") != std::string::npos)
            continue;

        interface_files f;
        f.name = join_parts({"ath", decimal(a)});
        f.pid = join_parts({paths::run_dir, "wifi-", f.name, ".pid"});
        if (uci_get(join_parts({iface, ".mode"}), mode) == 0 && mode.find("ap") != std::string::npos) {
            f.conf = join_parts({paths::run_dir, "hostapd-", f.name, ".conf"});
            if (file_exists(f.pid) == 0 && file_exists(f.conf) == 0)
                rebridge(f, encryption, "AP", restart_hostapd);
        } else if (mode.find("sta") != std::string::npos) {
            f.conf = join_parts({paths::run_dir, "wpa_supplicant-", f.name, ".conf"});
            if (file_exists(f.pid) == 0 && file_exists(f.conf) == 0)
                rebridge(f, encryption, "STA", restart_wpa_supplicant);
        }
        if (a >= last_checked_index)
            break;
    }
    return 0;
}
