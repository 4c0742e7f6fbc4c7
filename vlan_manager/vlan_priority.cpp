// vlan-priority: gives every VLAN sub-interface of a configured VLAN that
// VLAN's 802.1p priority in both directions (vconfig ingress/egress maps).
#include "handlers.h"

#include "concat.h"
#include "paths.h"
#include "queries.h"
#include "quote.h"
#include "run_log.h"
#include "system.h"
#include "text.h"
#include "uci_read.h"

#include <cstdint>
#include <string>

namespace {

struct member_list {
    std::string names;
    bool present = false;
};

// A sub-interface belongs to VLAN id when its text from the first '.' on is
// ".<id>": eth0.10 belongs to 10, eth0.100 and eth0.1.10 do not.
bool belongs_to(const std::string& name, int id) noexcept
{
    std::size_t dot = name.find('.');
    return dot != std::string::npos && name.compare(dot, std::string::npos, join_parts({".", decimal(id)})) == 0;
}

void set_priority(const std::string& pass, const std::string& name, int priority) noexcept
{
    std::string stamp;
    time_stamp(stamp);
    std::string batch = echo_command(
        log_line(stamp, join_parts({"[", pass, "] Set VLAN priority...[", name, "]=", decimal(priority)})),
        paths::vlan_log);
    if (file_exists(join_parts({paths::proc_vlan_dir, name})) == 0) {
        const std::string device = shell_quote(name);
        const decimal p(priority);
        for (int q = 0; q < 8; ++q)
            append_parts(batch, {";vconfig set_ingress_map ", device, " ", p, " ", decimal(q)});
        for (int q = 0; q < 8; ++q)
            append_parts(batch, {";vconfig set_egress_map ", device, " ", decimal(q), " ", p});
    }
    shell_run(batch);
}

// Walks config pass's sections @vlan[0], @vlan[1], ... up to the first one
// without a bridge option. The vlan pass reads each VLAN's own bridge
// members; the vlansw pass uses the joined switch-VLAN members and handles
// one sub-interface per section.
void walk_sections(const std::string& pass, const member_list& switch_members) noexcept
{
    for (int j = 0;; ++j) {
        if (vlan_section_bridge(pass, j) == "unknown")
            return;
        const std::string section = join_parts({pass, ".@vlan[", decimal(j), "]"});
        // A section without its own id or priority is left alone.
        std::string text;
        if (uci_get(join_parts({section, ".vlanid"}), text) != 0)
            continue;
        int id = vlan_id_value(text);
        if (id <= 0)
            continue;
        if (uci_get(join_parts({section, ".priority"}), text) != 0)
            continue;
        int priority = vlan_id_value(text);
        if (static_cast<unsigned>(priority) >= 8)
            continue;

        std::string members;
        if (pass == "vlan") {
            if (uci_get(join_parts({"network.vlan", decimal(id), ".ifname"}), members) != 0)
                continue;
        } else {
            if (!switch_members.present)
                continue;
            members = switch_members.names;
        }

        int count = 0;
        count_fields(members, count, ' ');
        for (int k = 0; k < count && k <= UINT16_MAX; ++k) {
            std::string name;
            field_of(name, members, static_cast<uint16_t>(k), ' ');
            if (!belongs_to(name, id))
                continue;
            set_priority(pass, name, priority);
            if (pass != "vlan")
                break;
        }
    }
}

// The members of network.vlansw0 .. vlansw<count-1> and vlansw4all, joined by blanks.
member_list switch_member_list(int count) noexcept
{
    member_list list;
    for (int i = 0; i <= count; ++i) {
        std::string key =
            i < count ? join_parts({"network.vlansw", decimal(i), ".ifname"}) : std::string("network.vlansw4all.ifname");
        std::string value;
        if (uci_get(key, value) != 0)
            continue;
        if (!list.names.empty())
            list.names += ' ';
        list.names += value;
        list.present = true;
    }
    return list;
}

}  // namespace

int main_vlan_priority(int, char**) noexcept
{
    // When the interfaces can't be counted, only vlansw4all is looked at.
    int count = 0;
    if (count_wifi_ifaces(count) != 0)
        count = 0;
    walk_sections("vlan", member_list());
    walk_sections("vlansw", switch_member_list(count));
    return 0;
}
