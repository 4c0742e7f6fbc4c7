// vlan-priority: gives every VLAN sub-interface of a configured VLAN that
// VLAN's 802.1p priority in both directions (vconfig ingress/egress maps).
#include "handlers.h"

#include "commands.h"
#include "concat.h"
#include "paths.h"
#include "queries.h"
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

void set_priority(const char* pass, const std::string& name, int priority) noexcept
{
    std::string stamp;
    time_stamp(stamp);
    command_batch batch;
    append_line(batch, log_line(stamp, join_parts({"[", pass, "] Set VLAN priority...[", name, "]=", decimal(priority)})),
                paths::vlan_log);
    // Every 802.1p class maps to the VLAN's priority, both ways.
    if (file_exists(join_parts({paths::proc_vlan_dir, name})) == 0) {
        for (int q = 0; q < 8; ++q)
            vlan_ingress_map(batch, name, priority, q);
        for (int q = 0; q < 8; ++q)
            vlan_egress_map(batch, name, q, priority);
    }
    run_batch(batch);
}

// Walks config pass's sections @vlan[0], @vlan[1], ... up to the first one
// without a bridge option. The vlan pass reads each VLAN's own bridge
// members; the vlansw pass uses the joined switch-VLAN members and handles
// one sub-interface per section.
void walk_sections(const char* pass, const member_list& switch_members) noexcept
{
    const bool vlan_pass = std::string_view(pass) == "vlan";
    for (vlan_section section; next_vlan_section(pass, walk_end::missing_bridge, section);) {
        // A section without its own id or priority is left alone.
        std::string text;
        if (section_option(section, "vlanid", text) != 0)
            continue;
        int id = vlan_id_value(text);
        if (id <= 0)
            continue;
        if (section_option(section, "priority", text) != 0)
            continue;
        int priority = vlan_id_value(text);
        if (static_cast<unsigned>(priority) >= 8)
            continue;

        std::string members;
        if (vlan_pass) {
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
            if (!vlan_pass)
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
