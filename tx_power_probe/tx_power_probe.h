// zelmaxtxpower: asks the Wi-Fi driver for 30 dBm on an interface and records
// the power it grants in /var/max_txpower_<interface> and /var/max_txpower.
#pragma once

#include <string>

// The SSID of Wi-Fi interface 0 or 1 from UCI, or "unknown" when it has none
// (interface 1 also when it is disabled).
std::string wifi_iface_ssid(int position);

// One probe, in one shell call: ask for 30 dBm, wait a second, write the
// granted power to both files.
void probe_tx_power(const std::string& ifname);

// Probes the interface: 0 after the probe ran; 1 when "ath0" has no SSID; 2
// when the other interface has no SSID or is disabled; 3 when the name can't
// be an interface name (empty, or holding '/'), so no file outside the TX
// power files can be written.
int main_get_maxtxpower(const std::string& ifname);

// The entry point: exit status 0, or -1 when the switch
// zelmaxtxpower.dbname.enabled can't be read.
int zelmaxtxpower_main(int argc, char** argv);
