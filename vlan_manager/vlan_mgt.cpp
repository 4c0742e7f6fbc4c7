#include "vlan_mgt.h"

#include "commands.h"
#include "concat.h"
#include "handlers.h"
#include "paths.h"
#include "queries.h"
#include "run_log.h"
#include "system.h"
#include "text.h"
#include "uci_read.h"
#include "vlansw_bridges.h"

#include <vector>

namespace {

// Removes "<id>," after the first ",<id>," of the list; false when the id
// is not in it.
bool claim_id(std::string& stale, std::string_view id) noexcept
{
    std::size_t at = stale.find(join_parts({",", id, ","}));
    if (at == std::string::npos)
        return false;
    splice_text(stale, at + 1, static_cast<int16_t>(id.size() + 1), "");
    return true;
}

// The member list of network.vlan<id>: eth0.<id> and the Wi-Fi interfaces
// (or their sub-interfaces) of the bridge; the empty text when the tagging
// is neither ether nor wifi.
std::string members_of_vlan(int id, const std::string& tagging, const std::string& bridge, int index, int n) noexcept
{
    const decimal vlan(id);
    const bool all = bridge.find("All ") != std::string::npos;
    // What follows eth0.<id> in the list.
    std::string wireless;
    if (tagging == "ether") {
        if (!all)
            wireless = join_parts({" ath", decimal(index)});
        else if (n > 0)
            wireless = join_parts({" ", wireless_list(n, "")});
    } else if (tagging == "wifi") {
        if (all)
            wireless = join_parts({" ", wireless_list(n, join_parts({".", vlan}))});
        else
            wireless = join_parts({" ath", decimal(index), ".", vlan});
    } else {
        return "";
    }
    return join_parts({"eth0.", vlan, wireless});
}

}  // namespace

void build_vlan_interfaces(int n, std::string& stale, std::string& log_text) noexcept
{
    log_text.clear();
    for (vlan_section section; next_vlan_section("vlan", walk_end::missing_bridge, section);) {
        std::string value;
        if (section_option(section, "vlanid", value) != 0)
            continue;
        const int id = vlan_id_value(value);
        std::string used;
        if (section_option(section, "vlan_used", used) != 0)
            used = "off";
        if (id == 0 || (used != "on" && used != "off"))
            continue;

        // Should the option vanish between the two reads, the text the walk
        // read still tells where the VLAN goes.
        std::string bridge;
        if (section_option(section, "bridge", bridge) != 0)
            bridge = section.bridge;
        int index = 0;
        if (bridge.find("All ") == std::string::npos) {
            index = wifi_iface_of_ssid(bridge);
            if (index < 0)
                index = 0;
        }

        const decimal number(id);
        const std::string vlan = join_parts({"network.vlan", number});
        command_batch batch;
        uci_set(batch, vlan, "interface");
        std::string tagging;
        if (section_option(section, "tagging", tagging) == 0) {
            std::string members = members_of_vlan(id, tagging, bridge, index, n);
            if (!members.empty())
                uci_set_members(batch, join_parts({vlan, ".ifname"}), members);
        }
        uci_set(batch, join_parts({vlan, ".type"}), "bridge");
        uci_set(batch, join_parts({vlan, ".proto"}), "static");
        std::string address, netmask;
        if (section_option(section, "ip", address) == 0)
            uci_set(batch, join_parts({vlan, ".ipaddr"}), address);
        if (section_option(section, "netmask", netmask) == 0)
            uci_set(batch, join_parts({vlan, ".netmask"}), netmask);
        uci_commit(batch, "network");

        if (used == "on") {
            if (log_text.empty()) {
                std::string stamp;
                time_stamp(stamp);
                log_text = log_line(stamp, "[vlan] Setup vlan ... ");
            } else {
                log_text += ',';
            }
            append_parts(log_text, {"id=", number, "[ip=", address, "]"});
        }

        run_batch(batch);
        claim_id(stale, number);
    }
}

void delete_stale_vlans(std::string& stale) noexcept
{
    command_batch batch;
    while (stale != "0,0") {
        std::string id;
        field_of(id, stale, 1, ',');
        // A list that isn't of the usual shape would never shrink: stop.
        if (id.empty() || !claim_id(stale, id))
            break;
        uci_delete(batch, join_parts({"network.vlan", id}));
    }
    if (batch.empty())
        return;
    uci_commit(batch, "network");
    run_batch(batch);
}

int teardown_vlans() noexcept
{
    std::string stale;
    vlan_id_list(stale);
    delete_stale_vlans(stale);

    std::vector<std::string> lines;
    if (shell_read_lines(vlansw_interfaces_query(), lines) != 0)
        return -1;
    command_batch batch;
    for (const auto& line : lines) {
        std::size_t equals = line.find('=');
        // Section lines only ("network.vlansw0=interface"), not an option
        // whose value happens to mention an interface.
        if (equals == std::string::npos || show_line_value(line) != "interface")
            continue;
        uci_delete(batch, line.substr(0, equals));
    }
    if (!batch.empty()) {
        uci_commit(batch, "network");
        run_batch(batch);
    }
    return -1;
}

int main_vlan_mgt(int, char**) noexcept
{
    std::string enabled;
    if (uci_get("vlanac.activation.enabled", enabled) != 0 || vlan_id_value(enabled) == 0)
        return teardown_vlans();

    std::string stale;
    vlan_id_list(stale);
    const int n = build_vlansw_bridges();
    std::string log_text;
    build_vlan_interfaces(n, stale, log_text);
    // With no VLAN in use there is no setup line, and no empty line is written.
    if (!log_text.empty())
        append_line(log_text, paths::vlan_log);
    delete_stale_vlans(stale);
    return 0;
}
