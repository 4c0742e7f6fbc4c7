// What the VLAN manager asks the UCI store about Wi-Fi interfaces and VLANs.
// Every query runs its uci | grep pipeline afresh.
#pragma once

#include <string>
#include <string_view>

// count = number of Wi-Fi interfaces with an SSID, counting positions from 0
// up to the first without one. 0, or -1 when a query can't start (count untouched).
int count_wifi_ifaces(int& count) noexcept;

// Position of the first Wi-Fi interface whose SSID equals the text, or -1.
int wifi_iface_of_ssid(const std::string& ssid) noexcept;

// The bridge option of section @vlan[n] of config ("vlan" or "vlansw"), or "unknown".
std::string vlan_section_bridge(const std::string& config, int n) noexcept;

// dest = "0,<id>,...,0" of the network.vlan<id> interfaces; returns their number.
// When the query can't start: 0 and dest = "0,0" (nothing to delete).
int vlan_id_list(std::string& dest) noexcept;

// 1 and the id when a network.vlan<id> lists the interface itself; 0 when none;
// -1 when the query can't start.
int vlan_of_ifname(const std::string& ifname, int& id) noexcept;

// 1 and the section name (vlansw0) when a switch-VLAN interface lists it;
// 0 and "unknown" when none; -1 when the query can't start.
int vlansw_of_ifname(const std::string& ifname, std::string& section) noexcept;

// Helpers the VLAN commands share.

// A number option (VLAN id, priority, web port, switch value) as atoi reads
// it (leading blanks, sign, digits up to the first other character; 0 when
// there are none), clamped to the int range instead of overflowing.
int vlan_id_value(const std::string& text) noexcept;

// "ath0 ath1 ... ath<n-1>" (suffix appended to each name, such as ".10"),
// joined by single blanks; empty when n is 0.
std::string wireless_list(int n, std::string_view suffix) noexcept;

// Walks over the sections @vlan[0], @vlan[1], ... of config "vlan" or
// "vlansw". Two rules end a walk, and they are told apart here only: most
// walks end at the first section without a bridge option (as
// vlan_section_bridge reads it); the web server's walk ends at the first
// section without a vlanid.
enum class walk_end { missing_bridge, missing_vlanid };

struct vlan_section {
    int index = -1;
    std::string key;     // "vlan.@vlan[3]"
    std::string bridge;  // as the walk read it (walks that end at a missing bridge)
    std::string vlanid;  // as the walk read it (walks that end at a missing vlanid)
};

// Moves section to the next section of the walk; false when the walk ends.
//   for (vlan_section s; next_vlan_section("vlan", walk_end::missing_bridge, s);) ...
bool next_vlan_section(const char* config, walk_end end, vlan_section& section) noexcept;

// uci_get of the section's option.
int section_option(const vlan_section& section, const char* option, std::string& value) noexcept;
