// refresh-lan-ip: copies the LAN's address and netmask, and those of every
// static VLAN interface, into the VLAN settings.
#include "handlers.h"

#include "batch.h"
#include "concat.h"
#include "interface_address.h"
#include "queries.h"
#include "quote.h"
#include "uci_read.h"

#include <string>

namespace {

// Adds "uci set TARGET=SOURCE" when both options can be read and differ.
bool copy_if_changed(std::string& batch, const std::string& source_key, const std::string& target_key) noexcept
{
    std::string source, target;
    if (uci_get(source_key, source) != 0 || uci_get(target_key, target) != 0 || source == target)
        return false;
    batch_append(batch, {"uci set ", target_key, "=", shell_quote(source)});
    return true;
}

void refresh_lan() noexcept
{
    std::string proto;
    if (uci_get("network.lan.proto", proto) != 0)
        return;

    std::string batch;
    bool changed = false;
    if (proto.find("static") != std::string::npos) {
        changed |= copy_if_changed(batch, "network.lan.ipaddr", "vlan.cfg029c96.ip");
        changed |= copy_if_changed(batch, "network.lan.netmask", "vlan.cfg029c96.netmask");
    } else if (proto.find("dhcp") != std::string::npos) {
        // The live address is written even when it equals the stored one.
        changed = append_live_lan_address(batch);
    }
    if (changed)
        batch_append(batch, "uci commit vlan");
    run_batch_text(batch);
}

// Every VLAN section whose interface network.vlan<id> is static; one shell
// run, with its own commit, per section that changes.
void refresh_vlans() noexcept
{
    for (int c = 0;; ++c) {
        if (vlan_section_bridge("vlan", c) == "unknown")
            return;
        const std::string section = join_parts({"vlan.@vlan[", decimal(c), "]"});
        std::string id, proto;
        if (uci_get(join_parts({section, ".vlanid"}), id) != 0 || vlan_id_value(id) == 0)
            continue;
        // The id text names the interface as written (010 is network.vlan010).
        const std::string interface = join_parts({"network.vlan", id});
        if (uci_get(join_parts({interface, ".proto"}), proto) != 0 || proto.find("static") == std::string::npos)
            continue;
        std::string batch;
        bool changed = copy_if_changed(batch, join_parts({interface, ".ipaddr"}), join_parts({section, ".ip"}));
        changed |= copy_if_changed(batch, join_parts({interface, ".netmask"}), join_parts({section, ".netmask"}));
        if (!changed)
            continue;
        batch_append(batch, "uci commit vlan");
        run_batch_text(batch);
    }
}

}  // namespace

int main_refresh_lan_ip(int, char**) noexcept
{
    refresh_lan();
    refresh_vlans();
    return 0;
}
