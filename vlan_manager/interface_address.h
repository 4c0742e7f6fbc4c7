// The IPv4 quantities of the lan and wan interfaces (address, netmask,
// gateway, DNS servers), read from the running system or from UCI.
#pragma once

#include <cstdint>
#include <string>

// value = the quantity as one number, a.b.c.d as a<<24 | b<<16 | c<<8 | d.
// 0 when a line was read and parsed; -1 otherwise (value 0). Quantities:
// "gateway", "dns1", "dns2" for a name holding "lan" or "wan" (read from UCI),
// "ipaddr", "netmask" for the name "lan" (read from ifconfig br-lan).
// Anything else is -1 without running a command.
int interface_address(const std::string& name, const std::string& quantity, uint32_t& value) noexcept;

// Asks interface_address up to tries times, pausing one second after every
// failed try but the last, as a LAN waiting for its DHCP lease needs.
int interface_address_polled(const std::string& name, const std::string& quantity, uint32_t& value,
                             int tries) noexcept;

// "a.b.c.d", top byte first.
std::string dotted_address(uint32_t value) noexcept;

struct command_batch;

// For a LAN that takes its address by DHCP: sets vlan.cfg029c96.ip and
// .netmask to what can be read of br-lan, asking for the address up to 7
// times (the lease may still be on its way). True when it set anything.
bool set_live_lan_address(command_batch& batch) noexcept;
