// vlan-mgt: the network.vlan<id> interfaces built from the vlan sections,
// and the teardown of every VLAN interface when the VLAN switch is off.
#pragma once

#include <string>

// Writes network.vlan<id> for every usable vlan section (one batch each),
// with n Wi-Fi interfaces for the sections on all of them. Claims each id
// built by removing it from stale ("0,<id>,...,0"). log_text becomes the
// setup log line of the sections in use, or stays empty when none is.
void build_vlan_interfaces(int n, std::string& stale, std::string& log_text) noexcept;

// Deletes every network.vlan<id> whose id is left in stale, in one batch,
// and leaves stale "0,0". Nothing runs when no id is left.
void delete_stale_vlans(std::string& stale) noexcept;

// Deletes every network.vlan<id> and every interface named vlansw...
// Returns -1, as the handler does after a teardown.
int teardown_vlans() noexcept;
