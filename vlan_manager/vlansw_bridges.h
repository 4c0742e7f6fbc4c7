// Switch-VLAN bridges: network.vlansw<e> per Wi-Fi interface and the shared
// network.vlansw4all, built from the vlansw sections.
#pragma once

// Writes (or deletes) the bridges, one command batch per Wi-Fi interface
// below 32 and one for the shared bridge. Returns the Wi-Fi interface count
// it used (0 when it can't be counted).
int build_vlansw_bridges() noexcept;
