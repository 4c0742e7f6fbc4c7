#include "vlan_mgt.h"

#include "batch.h"
#include "concat.h"
#include "handlers.h"
#include "paths.h"
#include "queries.h"
#include "quote.h"
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

// The member list command of network.vlan<id>, or the empty text when the
// tagging is neither ether nor wifi.
std::string member_command(int id, const std::string& tagging, const std::string& bridge, int index, int n) noexcept
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
    return join_parts({"uci set network.vlan", vlan, ".ifname='eth0.", vlan, wireless, "'"});
}

}  // namespace

void build_vlan_interfaces(int n, std::string& stale, std::string& log_text) noexcept
{
    log_text.clear();
    for (int k = 0;; ++k) {
        std::string section_bridge = vlan_section_bridge("vlan", k);
        if (section_bridge == "unknown")
            break;
        const std::string prefix = join_parts({"vlan.@vlan[", decimal(k), "]."});
        std::string value;
        if (uci_get(join_parts({prefix, "vlanid"}), value) != 0)
            continue;
        const int id = vlan_id_value(value);
        std::string used;
        if (uci_get(join_parts({prefix, "vlan_used"}), used) != 0)
            used = "off";
        if (id == 0 || (used != "on" && used != "off"))
            continue;

        // Should the option vanish between the two reads, the text the
        // section query gave still tells where the VLAN goes.
        std::string bridge;
        if (uci_get(join_parts({prefix, "bridge"}), bridge) != 0)
            bridge = section_bridge;
        int index = 0;
        if (bridge.find("All ") == std::string::npos) {
            index = wifi_iface_of_ssid(bridge);
            if (index < 0)
                index = 0;
        }

        const decimal number(id);
        const std::string vlan = join_parts({"network.vlan", number});
        std::string batch = join_parts({"uci set ", vlan, "=interface"});
        std::string tagging;
        if (uci_get(join_parts({prefix, "tagging"}), tagging) == 0) {
            std::string members = member_command(id, tagging, bridge, index, n);
            if (!members.empty())
                append_parts(batch, {";", members});
        }
        append_parts(batch, {";uci set ", vlan, ".type=bridge", ";uci set ", vlan, ".proto=static"});
        std::string address, netmask;
        const bool has_address = uci_get(join_parts({prefix, "ip"}), address) == 0;
        if (has_address)
            append_parts(batch, {";uci set ", vlan, ".ipaddr=", shell_quote(address)});
        if (uci_get(join_parts({prefix, "netmask"}), netmask) == 0)
            append_parts(batch, {";uci set ", vlan, ".netmask=", shell_quote(netmask)});
        batch += ";uci commit network";

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

        run_batch_text(batch);
        claim_id(stale, number);
    }
}

void delete_stale_vlans(std::string& stale) noexcept
{
    std::string batch;
    while (stale != "0,0") {
        std::string id;
        field_of(id, stale, 1, ',');
        // A list that isn't of the usual shape would never shrink: stop.
        if (id.empty() || !claim_id(stale, id))
            break;
        batch_append(batch, {"uci delete network.vlan", shell_quote(id)});
    }
    if (batch.empty())
        return;
    batch_append(batch, "uci commit network");
    run_batch_text(batch);
}

int teardown_vlans() noexcept
{
    std::string stale;
    vlan_id_list(stale);
    delete_stale_vlans(stale);

    std::vector<std::string> lines;
    if (shell_read_lines("uci show network | grep interface | grep vlansw", lines) != 0)
        return -1;
    std::string batch;
    for (const auto& line : lines) {
        std::size_t equals = line.find('=');
        // Section lines only ("network.vlansw0=interface"), not an option
        // whose value happens to mention an interface.
        if (equals == std::string::npos || line.compare(equals, std::string::npos, "=interface") != 0)
            continue;
        batch_append(batch, {"uci delete ", shell_quote_key(line.substr(0, equals))});
    }
    if (!batch.empty()) {
        batch_append(batch, "uci commit network");
        run_batch_text(batch);
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
