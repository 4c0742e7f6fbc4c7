#include "tx_power_probe.h"

#include "batch.h"
#include "paths.h"
#include "quote.h"
#include "run_log.h"
#include "system.h"
#include "text.h"
#include "uci_read.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const char* const switch_key = "zelmaxtxpower.dbname.enabled";

// The name for a place between double quotes in a command: a bare name has
// no character that means anything there; any other name leaves the double
// quotes for its single-quoted form and comes back into them.
std::string in_double_quotes(const std::string& name)
{
    std::string quoted = shell_quote(name);
    return quoted == name ? name : "\"" + quoted + "\"";
}

// "NAME:<first word of the reported Tx-Power>" written to path.
std::string record_command(const std::string& ifname, const std::string& path)
{
    return "echo \"" + in_double_quotes(ifname) + ":$(iwconfig " + shell_quote(ifname) +
           " | grep Tx-Power | cut -d= -f 2 | awk '{print $1}')\" > " + path;
}

}  // namespace

std::string wifi_iface_ssid(int position)
{
    std::string ssid = "unknown";
    if (position == 1) {
        std::string disabled;
        if (uci_show_value("wireless.@wifi-iface[1].disabled", disabled) == 0 && std::atoi(disabled.c_str()) == 1)
            return ssid;
    }
    std::vector<std::string> lines;
    shell_read_lines("uci show wireless | grep \"iface\\[" + std::to_string(position) + "\\].ssid=\"", lines);
    if (!lines.empty()) {
        std::size_t at = lines.front().find("ssid=");
        if (at != std::string::npos)
            ssid = lines.front().substr(at + 5);
    }
    return ssid;
}

std::string maxtxpower_batch(const std::string& ifname)
{
    std::string name = shell_quote(ifname);
    std::string batch = "iwconfig " + name + " txpower 30";
    batch += ";sleep 1";
    batch += ";" + record_command(ifname, paths::max_txpower_prefix + name);
    batch += ";" + record_command(ifname, paths::max_txpower);
    return batch;
}

int main_get_maxtxpower(const std::string& ifname)
{
    bool first = ifname == "ath0";
    if (wifi_iface_ssid(first ? 0 : 1) == "unknown")
        return first ? 1 : 2;
    if (ifname.empty() || ifname.find('/') != std::string::npos)
        return 3;
    run_batch_text(maxtxpower_batch(ifname));
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
