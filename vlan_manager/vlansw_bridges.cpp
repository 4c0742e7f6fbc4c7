#include "vlansw_bridges.h"

#include "batch.h"
#include "concat.h"
#include "queries.h"
#include "quote.h"
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
void append_bridge_options(std::string& batch, const std::string& bridge, std::string_view members) noexcept
{
    append_parts(batch, {";uci set ", bridge, ".type=bridge", ";uci set ", bridge, ".proto=static", ";uci set ",
                         bridge, ".ifname='", members, "'"});
}

std::string interface_batch(int e, const std::vector<int>& ids) noexcept
{
    const decimal number(e);
    const std::string bridge = join_parts({"network.vlansw", number});
    std::string mode;
    if (uci_get(join_parts({"wireless.@wifi-iface[", number, "].mode"}), mode) != 0)
        mode = "ap";

    std::string batch = join_parts({"uci set ", bridge, "=interface"});
    std::string address;
    if (uci_get(join_parts({bridge, ".ipaddr"}), address) == 0) {
        append_parts(batch, {";uci set ", bridge, ".ipaddr=", shell_quote(address)});
    } else {
        const char* host = mode.find("ap") != std::string::npos    ? ".1"
                           : mode.find("sta") != std::string::npos ? ".2"
                                                                   : ".222";
        append_parts(batch, {";uci set ", bridge, ".ipaddr=192.168.", decimal(100 + e), host});
    }
    append_parts(batch, {";uci set ", bridge, ".netmask=", bridge_netmask});
    append_bridge_options(batch, bridge, join_parts({ethernet_members(ids), " ath", number}));
    append_parts(batch, {";brctl addif br-vlansw", number, " ath", number});
    return batch;
}

std::string shared_batch(const std::vector<int>& ids, int n) noexcept
{
    const std::string bridge = "network.vlansw4all";
    std::string batch = "uci set network.vlansw4all=interface";
    std::string value;
    if (uci_get("network.vlansw4all.ipaddr", value) != 0)
        batch += ";uci set network.vlansw4all.ipaddr=192.168.111.1";
    if (uci_get("network.vlansw4all.netmask", value) != 0)
        append_parts(batch, {";uci set network.vlansw4all.netmask=", bridge_netmask});
    append_bridge_options(batch, bridge, join_parts({ethernet_members(ids), " ", wireless_list(n, "")}));
    for (int k = 0; k < n; ++k)
        append_parts(batch, {";brctl addif br-vlansw4all ath", decimal(k)});
    return batch;
}

}  // namespace

int build_vlansw_bridges() noexcept
{
    int n = 0;
    if (count_wifi_ifaces(n) != 0)
        n = 0;

    // Rows of ids per Wi-Fi interface, and the row of the shared bridge.
    // Rows grow as needed; an SSID on an interface beyond ath31 has no
    // bridge of its own, so its ids have nowhere to go and are passed over.
    std::vector<std::vector<int>> rows(bridged_interfaces);
    std::vector<int> all_row;

    for (int i = 0;; ++i) {
        std::string section_bridge = vlan_section_bridge("vlansw", i);
        if (section_bridge == "unknown")
            break;
        const std::string prefix = join_parts({"vlansw.@vlan[", decimal(i), "]."});
        std::string value;
        if (uci_get(join_parts({prefix, "vlanid"}), value) != 0)
            continue;
        int id = vlan_id_value(value);
        if (id == 0)
            continue;
        // Should the option vanish between the two reads, the text the
        // section query gave still tells where the VLAN goes.
        std::string bridge;
        if (uci_get(join_parts({prefix, "bridge"}), bridge) != 0)
            bridge = section_bridge;
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
        std::string batch;
        std::string address;
        if (!rows[e].empty())
            batch = interface_batch(e, rows[e]);
        else if (uci_get(join_parts({"network.vlansw", decimal(e), ".ipaddr"}), address) == 0)
            batch = join_parts({"uci delete network.vlansw", decimal(e)});
        batch_append(batch, "uci commit network");
        run_batch_text(batch);
    }

    std::string batch;
    std::string address;
    if (!all_row.empty())
        batch = shared_batch(all_row, n);
    else if (uci_get("network.vlansw4all.ipaddr", address) == 0)
        batch = "uci delete network.vlansw4all";
    batch_append(batch, "uci commit network");
    run_batch_text(batch);

    return n;
}
