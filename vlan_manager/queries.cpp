#include "queries.h"

#include "concat.h"
#include "system.h"
#include "text.h"
#include "uci_read.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const char* const unknown_text = "unknown";

// The value printed after the first occurrence of marker ("ssid="), when the
// line holds it.
bool value_after(const std::string& line, std::string_view marker, std::string& value) noexcept
{
    std::size_t at = line.find(marker);
    if (at == std::string::npos)
        return false;
    value = show_value(std::string_view(line).substr(at + marker.size()));
    return true;
}

// How a member list holds an interface: a member equal to the name, or a
// VLAN sub-interface of it ("ath2.10"). Members are compared whole, so ath1
// is not mistaken for ath10 or ath11.
struct membership {
    bool itself = false;
    bool sub_interface = false;
};

membership members_of(const std::string& line, const std::string& ifname) noexcept
{
    membership m;
    std::string value;
    if (!value_after(line, "=", value))
        return m;
    const std::string marker = join_parts({ifname, "."});
    std::size_t pos = 0;
    while (pos < value.size()) {
        std::size_t end = value.find(' ', pos);
        if (end == std::string::npos)
            end = value.size();
        const std::string_view member = std::string_view(value).substr(pos, end - pos);
        if (member == ifname)
            m.itself = true;
        else if (member.compare(0, marker.size(), marker) == 0)
            m.sub_interface = true;
        pos = end + 1;
    }
    return m;
}

// The id of a "network.vlan<id>" name, only when <id> is plain decimal
// digits: anything else is not an interface this manager made, and a
// mangled id would make the delete pass remove some other section.
bool vlan_id_of_section(const std::string& section, int& id) noexcept
{
    const std::string prefix = "network.vlan";
    if (section.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::string digits = section.substr(prefix.size());
    if (digits.empty() || digits.size() > 9)
        return false;
    for (char c : digits)
        if (c < '0' || c > '9')
            return false;
    if (digits.size() > 1 && digits[0] == '0')
        return false;
    id = static_cast<int>(std::strtol(digits.c_str(), nullptr, 10));
    return true;
}


}  // namespace

int count_wifi_ifaces(int& count) noexcept
{
    int found = 0;
    for (int position = 0;; ++position) {
        std::vector<std::string> lines;
        if (shell_read_lines(wifi_ssid_query(position), lines) != 0)
            return -1;
        int here = 0;
        for (const auto& line : lines)
            if (line.find("ssid=") != std::string::npos)
                ++here;
        if (here == 0)
            break;
        found += here;
    }
    count = found;
    return 0;
}

int wifi_iface_of_ssid(const std::string& ssid) noexcept
{
    std::vector<std::string> lines;
    if (shell_read_lines(all_ssids_query(), lines) != 0)
        return -1;
    for (const auto& line : lines) {
        std::string value;
        if (!value_after(line, "ssid=", value) || value != ssid)
            continue;
        int position = -1;
        if (std::sscanf(line.c_str(), "%*[^[][%d].ssid", &position) != 1)
            position = -1;
        return position;
    }
    return -1;
}

std::string vlan_section_bridge(const std::string& config, int n) noexcept
{
    std::string bridge = unknown_text;
    std::vector<std::string> lines;
    if (shell_read_lines(section_bridge_query(config, n), lines) != 0 || lines.empty())
        return bridge;
    std::string value;
    if (value_after(lines.front(), "bridge=", value))
        bridge = value;
    return bridge;
}

int vlan_id_list(std::string& dest) noexcept
{
    std::vector<std::string> lines;
    if (shell_read_lines(vlan_interfaces_query(), lines) != 0) {
        dest = "0,0";
        return 0;
    }
    dest = "0";
    int count = 0;
    for (const auto& line : lines) {
        if (show_line_value(line) != "interface" || line.find("vlansw") != std::string::npos)
            continue;
        std::string section;
        field_of(section, line, 0, '=');
        int id = 0;
        if (!vlan_id_of_section(section, id))
            continue;
        append_parts(dest, {",", decimal(id)});
        ++count;
    }
    dest += ",0";
    return count;
}

int vlan_of_ifname(const std::string& ifname, int& id) noexcept
{
    std::vector<std::string> lines;
    if (shell_read_lines(members_naming_query("vlan", ifname), lines) != 0)
        return -1;
    for (const auto& line : lines) {
        if (line.find("vlansw") != std::string::npos)
            continue;
        membership m = members_of(line, ifname);
        if (!m.itself || m.sub_interface)
            continue;
        int found = 0;
        if (std::sscanf(line.c_str(), "network.vlan%d.ifname=", &found) != 1)
            continue;
        id = found;
        return 1;
    }
    return 0;
}

int vlansw_of_ifname(const std::string& ifname, std::string& section) noexcept
{
    std::vector<std::string> lines;
    if (shell_read_lines(members_naming_query("vlansw", ifname), lines) != 0)
        return -1;
    section = unknown_text;
    const std::string prefix = "network.";
    for (const auto& line : lines) {
        membership m = members_of(line, ifname);
        if (!m.itself || m.sub_interface)
            continue;
        if (line.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::size_t end = line.find('.', prefix.size());
        if (end == std::string::npos || end == prefix.size())
            continue;
        section = line.substr(prefix.size(), end - prefix.size());
        return 1;
    }
    return 0;
}

int vlan_id_value(const std::string& text) noexcept
{
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

std::string wireless_list(int n, std::string_view suffix) noexcept
{
    std::string list;
    for (int k = 0; k < n; ++k) {
        if (k > 0)
            list += ' ';
        append_parts(list, {"ath", decimal(k), suffix});
    }
    return list;
}

bool next_vlan_section(const char* config, walk_end end, vlan_section& section) noexcept
{
    ++section.index;
    section.key = join_parts({config, ".@vlan[", decimal(section.index), "]"});
    if (end == walk_end::missing_bridge) {
        section.bridge = vlan_section_bridge(config, section.index);
        return section.bridge != unknown_text;
    }
    return uci_get(join_parts({section.key, ".vlanid"}), section.vlanid) == 0;
}

int section_option(const vlan_section& section, const char* option, std::string& value) noexcept
{
    return uci_get(join_parts({section.key, ".", option}), value);
}
