#include "vlan_mgt.h"

#include "batch.h"
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
bool claim_id(std::string& stale, const std::string& id)
{
    std::size_t at = stale.find("," + id + ",");
    if (at == std::string::npos)
        return false;
    splice_text(stale, at + 1, static_cast<int16_t>(id.size() + 1), "");
    return true;
}

// The member list command of network.vlan<id>, or the empty text when the
// tagging is neither ether nor wifi.
std::string member_command(int id, const std::string& tagging, const std::string& bridge, int index, int n)
{
    const std::string vlan = std::to_string(id);
    const std::string head = "uci set network.vlan" + vlan + ".ifname='eth0." + vlan;
    const bool all = bridge.find("All ") != std::string::npos;
    if (tagging == "ether") {
        if (all) {
            std::string list = wireless_list(n, "");
            return head + (list.empty() ? "" : " " + list) + "'";
        }
        return head + " ath" + std::to_string(index) + "'";
    }
    if (tagging == "wifi") {
        if (all)
            return head + " " + wireless_list(n, "." + vlan) + "'";
        return head + " ath" + std::to_string(index) + "." + vlan + "'";
    }
    return "";
}

}  // namespace

void build_vlan_interfaces(int n, std::string& stale, std::string& log_text)
{
    log_text.clear();
    for (int k = 0;; ++k) {
        std::string section_bridge = vlan_section_bridge("vlan", k);
        if (section_bridge == "unknown")
            break;
        const std::string prefix = "vlan.@vlan[" + std::to_string(k) + "].";
        std::string value;
        if (uci_get(prefix + "vlanid", value) != 0)
            continue;
        const int id = vlan_id_value(value);
        std::string used;
        if (uci_get(prefix + "vlan_used", used) != 0)
            used = "off";
        if (id == 0 || (used != "on" && used != "off"))
            continue;

        // Should the option vanish between the two reads, the text the
        // section query gave still tells where the VLAN goes.
        std::string bridge;
        if (uci_get(prefix + "bridge", bridge) != 0)
            bridge = section_bridge;
        int index = 0;
        if (bridge.find("All ") == std::string::npos) {
            index = wifi_iface_of_ssid(bridge);
            if (index < 0)
                index = 0;
        }

        const std::string vlan = "network.vlan" + std::to_string(id);
        std::string batch = "uci set " + vlan + "=interface";
        std::string tagging;
        if (uci_get(prefix + "tagging", tagging) == 0) {
            std::string members = member_command(id, tagging, bridge, index, n);
            if (!members.empty())
                batch += ";" + members;
        }
        batch += ";uci set " + vlan + ".type=bridge";
        batch += ";uci set " + vlan + ".proto=static";
        std::string address, netmask;
        const bool has_address = uci_get(prefix + "ip", address) == 0;
        if (has_address)
            batch += ";uci set " + vlan + ".ipaddr=" + shell_quote(address);
        if (uci_get(prefix + "netmask", netmask) == 0)
            batch += ";uci set " + vlan + ".netmask=" + shell_quote(netmask);
        batch += ";uci commit network";

        if (used == "on") {
            const std::string entry = "id=" + std::to_string(id) + "[ip=" + address + "]";
            if (log_text.empty()) {
                std::string stamp;
                time_stamp(stamp);
                log_text = log_line(stamp, "[vlan] Setup vlan ... " + entry);
            } else {
                log_text += "," + entry;
            }
        }

        run_batch_text(batch);
        claim_id(stale, std::to_string(id));
    }
}

void delete_stale_vlans(std::string& stale)
{
    std::string batch;
    while (stale != "0,0") {
        std::string id;
        field_of(id, stale, 1, ',');
        // A list that isn't of the usual shape would never shrink: stop.
        if (id.empty() || !claim_id(stale, id))
            break;
        batch_append(batch, "uci delete network.vlan" + shell_quote(id));
    }
    if (batch.empty())
        return;
    batch_append(batch, "uci commit network");
    run_batch_text(batch);
}

int teardown_vlans()
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
        batch_append(batch, "uci delete " + shell_quote_key(line.substr(0, equals)));
    }
    if (!batch.empty()) {
        batch_append(batch, "uci commit network");
        run_batch_text(batch);
    }
    return -1;
}

int main_vlan_mgt(int, char**)
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
