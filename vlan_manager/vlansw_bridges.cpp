#include "vlansw_bridges.h"

#include "commands.h"
#include "concat.h"
#include "queries.h"
#include "uci_read.h"

#include <string>
#include <vector>

namespace {

// Per-interface bridges exist for ath0 to ath31 only.
const int bridged_interfaces = 32;
const char* const bridge_netmask = "255.255.255.0";

// "eth0.<id> eth0.<id> ..." of a row, in scan order.
std::string ethernet_members(const std::vector<int>& ids) noexcept
{
    std::string text;
    for (int id : ids)
        append_parts(text, {" eth0.", decimal(id)});
    if (!text.empty())
        text.erase(0, 1);
    return text;
}

// The type, protocol and member options that every bridge gets.
void set_bridge_options(command_batch& batch, const std::string& bridge, std::string_view members) noexcept
{
    uci_set(batch, join_parts({bridge, ".type"}), "bridge");
    uci_set(batch, join_parts({bridge, ".proto"}), "static");
    uci_set_members(batch, join_parts({bridge, ".ifname"}), members);
}

void write_interface_bridge(command_batch& batch, int e, const std::vector<int>& ids) noexcept
{
    const decimal number(e);
    const std::string bridge = join_parts({"network.vlansw", number});
    const std::string ath = join_parts({"ath", number});
    std::string mode;
    if (uci_get(join_parts({"wireless.@wifi-iface[", number, "].mode"}), mode) != 0)
        mode = "ap";

    uci_set(batch, bridge, "interface");
    std::string address;
    if (uci_get(join_parts({bridge, ".ipaddr"}), address) != 0) {
        const char* host = mode.find("ap") != std::string::npos    ? ".1"
                           : mode.find("sta") != std::string::npos ? ".2"
                                                                   : ".222";
        address = join_parts({"192.168.", decimal(100 + e), host});
    }
    uci_set(batch, join_parts({bridge, ".ipaddr"}), address);
    uci_set(batch, join_parts({bridge, ".netmask"}), bridge_netmask);
    set_bridge_options(batch, bridge, join_parts({ethernet_members(ids), " ", ath}));
    bridge_add_interface(batch, join_parts({"br-vlansw", number}), ath);
}

void write_shared_bridge(command_batch& batch, const std::vector<int>& ids, int n) noexcept
{
    const std::string bridge = "network.vlansw4all";
    uci_set(batch, bridge, "interface");
    std::string value;
    if (uci_get("network.vlansw4all.ipaddr", value) != 0)
        uci_set(batch, "network.vlansw4all.ipaddr", "192.168.111.1");
    if (uci_get("network.vlansw4all.netmask", value) != 0)
        uci_set(batch, "network.vlansw4all.netmask", bridge_netmask);
    set_bridge_options(batch, bridge, join_parts({ethernet_members(ids), " ", wireless_list(n, "")}));
    for (int k = 0; k < n; ++k)
        bridge_add_interface(batch, "br-vlansw4all", join_parts({"ath", decimal(k)}));
}

}  // namespace

int build_vlansw_bridges() noexcept
{
    int n = 0;
    if (count_wifi_ifaces(n) != 0)
        n = 0;

    // Rows of ids per Wi-Fi interface, and the row of the shared bridge.
    // An SSID on an interface beyond ath31 has no bridge of its own, so its
    // ids have nowhere to go and are passed over.
    std::vector<std::vector<int>> rows(bridged_interfaces);
    std::vector<int> all_row;

    for (vlan_section section; next_vlan_section("vlansw", walk_end::missing_bridge, section);) {
        std::string value;
        if (section_option(section, "vlanid", value) != 0)
            continue;
        int id = vlan_id_value(value);
        if (id == 0)
            continue;
        // Should the option vanish between the two reads, the text the
        // walk read still tells where the VLAN goes.
        std::string bridge;
        if (section_option(section, "bridge", bridge) != 0)
            bridge = section.bridge;
        if (bridge.find("All ") != std::string::npos) {
            all_row.push_back(id);
            continue;
        }
        int e = wifi_iface_of_ssid(bridge);
        if (e < 0)
            e = 0;
        if (e < bridged_interfaces)
            rows[e].push_back(id);
    }

    for (int e = 0; e < n && e < bridged_interfaces; ++e) {
        command_batch batch;
        const std::string bridge = join_parts({"network.vlansw", decimal(e)});
        std::string address;
        if (!rows[e].empty())
            write_interface_bridge(batch, e, rows[e]);
        else if (uci_get(join_parts({bridge, ".ipaddr"}), address) == 0)
            uci_delete(batch, bridge);
        uci_commit(batch, "network");
        run_batch(batch);
    }

    command_batch batch;
    std::string address;
    if (!all_row.empty())
        write_shared_bridge(batch, all_row, n);
    else if (uci_get("network.vlansw4all.ipaddr", address) == 0)
        uci_delete(batch, "network.vlansw4all");
    uci_commit(batch, "network");
    run_batch(batch);

    return n;
}
