#include "tx_power_probe.h"

#include "commands.h"
#include "paths.h"
#include "run_log.h"
#include "text.h"
#include "uci_read.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const char* const switch_key = "zelmaxtxpower.dbname.enabled";
const int requested_dbm = 30;

}  // namespace

std::string wifi_iface_ssid(int position)
{
    if (position == 1) {
        std::string disabled;
        if (uci_show_value("wireless.@wifi-iface[1].disabled", disabled) == 0 && std::atoi(disabled.c_str()) == 1)
            return "unknown";
    }
    return wifi_ssid_at(position);
}

void probe_tx_power(const std::string& ifname)
{
    command_batch batch;
    set_tx_power(batch, ifname, requested_dbm);
    pause_seconds(batch, 1);
    record_tx_power(batch, ifname, true);
    record_tx_power(batch, ifname, false);
    run_batch(batch);
}

int main_get_maxtxpower(const std::string& ifname)
{
    bool first = ifname == "ath0";
    if (wifi_iface_ssid(first ? 0 : 1) == "unknown")
        return first ? 1 : 2;
    if (ifname.empty() || ifname.find('/') != std::string::npos)
        return 3;
    probe_tx_power(ifname);
    return 0;
}

int zelmaxtxpower_main(int argc, char** argv)
{
    std::string enabled;
    if (uci_show_value(switch_key, enabled) != 0) {
        std::printf("UCI Error: '%s' not found !", switch_key);
        std::fflush(stdout);
        return -1;
    }
    if (static_cast<uint16_t>(std::atoi(enabled.c_str())) != 1)
        return 0;

    std::string stamp;
    time_stamp(stamp);
    // Runs that name no command are logged like a run without arguments.
    std::string text = "Running...zelmaxtxpower";
    if (argc > 1) {
        std::string name, command;
        field_of(name, argv[1], 0, '=');
        field_of(command, argv[1], 1, '=');
        if (name.find("--app") != std::string::npos && command == "get-maxtxpower") {
            std::string option, ifname;
            if (argc > 2) {
                field_of(option, argv[2], 0, '=');
                field_of(ifname, argv[2], 1, '=');
            }
            text = "Running...main_get_maxtxpower";
            if (option.find("-ifname") != std::string::npos && !ifname.empty())
                main_get_maxtxpower(ifname);
            else
                text += ": no -ifname given, nothing probed";
        }
    }
    append_line(log_line(stamp, text), paths::maxtxpower_log);
    return 0;
}
