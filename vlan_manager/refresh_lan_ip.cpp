// refresh-lan-ip: copies the LAN's address and netmask, and those of every
// static VLAN interface, into the VLAN settings.
#include "handlers.h"

#include "commands.h"
#include "concat.h"
#include "interface_address.h"
#include "queries.h"
#include "uci_read.h"

#include <string>

namespace {

// Sets TARGET to the value of SOURCE when both options can be read and differ.
bool copy_if_changed(command_batch& batch, const std::string& source_key, const std::string& target_key) noexcept
{
    std::string source, target;
    if (uci_get(source_key, source) != 0 || uci_get(target_key, target) != 0 || source == target)
        return false;
    uci_set(batch, target_key, source);
    return true;
}

void refresh_lan() noexcept
{
    std::string proto;
    if (uci_get("network.lan.proto", proto) != 0)
        return;

    command_batch batch;
    bool changed = false;
    if (proto.find("static") != std::string::npos) {
        changed |= copy_if_changed(batch, "network.lan.ipaddr", "vlan.cfg029c96.ip");
        changed |= copy_if_changed(batch, "network.lan.netmask", "vlan.cfg029c96.netmask");
    } else if (proto.find("dhcp") != std::string::npos) {
        // The live address is written even when it equals the stored one.
        changed = set_live_lan_address(batch);
    }
    if (changed)
        uci_commit(batch, "vlan");
    run_batch(batch);
}

// Every VLAN section whose interface network.vlan<id> is static; one shell
// run, with its own commit, per section that changes.
void refresh_vlans() noexcept
{
    for (vlan_section section; next_vlan_section("vlan", walk_end::missing_bridge, section);) {
        std::string id, proto;
        if (section_option(section, "vlanid", id) != 0 || vlan_id_value(id) == 0)
            continue;
        // The id text names the interface as written (010 is network.vlan010).
        const std::string interface = join_parts({"network.vlan", id});
        if (uci_get(join_parts({interface, ".proto"}), proto) != 0 || proto.find("static") == std::string::npos)
            continue;
        command_batch batch;
        bool changed =
            copy_if_changed(batch, join_parts({interface, ".ipaddr"}), join_parts({section.key, ".ip"}));
        changed |= copy_if_changed(batch, join_parts({interface, ".netmask"}), join_parts({section.key, ".netmask"}));
        if (!changed)
            continue;
        uci_commit(batch, "vlan");
        run_batch(batch);
    }
}

}  // namespace

int main_refresh_lan_ip(int, char**) noexcept
{
    refresh_lan();
    refresh_vlans();
    return 0;
}
