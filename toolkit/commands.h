// The command writer. Handlers say what they want done on the device, in its
// own words (set this option, commit this config, add this interface to this
// bridge, append this line to this file); this module alone turns that into
// shell command texts and quotes every value the one right way, so a value
// from UCI, from a command's output or from the command line is always data,
// never shell syntax.
//
// Commands gather in a batch, joined by ';', and go to the shell in one call:
//
//   command_batch batch;
//   uci_set(batch, "network.vlan10.ipaddr", address);
//   uci_commit(batch, "network");
//   run_batch(batch);
#pragma once

#include <string>
#include <string_view>

struct command_batch {
    std::string text;  // the commands so far, joined by ';'
    bool empty() const noexcept { return text.empty(); }
};

// Hands the batch to the shell in one call, unless it is empty, and empties
// it. The shell's status is not looked at.
void run_batch(command_batch& batch) noexcept;

// UCI changes. Keys may hold anonymous sections (vlan.@vlan[2].ip).
// uci set KEY=VALUE, the value bare when it is made of safe characters only.
void uci_set(command_batch& batch, std::string_view key, std::string_view value) noexcept;
// uci set KEY='NAME NAME ...': an interface's member list, always quoted.
void uci_set_members(command_batch& batch, std::string_view key, std::string_view members) noexcept;
// uci add_list KEY='VALUE', always quoted.
void uci_add_list(command_batch& batch, std::string_view key, std::string_view value) noexcept;
void uci_delete(command_batch& batch, std::string_view key) noexcept;
void uci_commit(command_batch& batch, std::string_view config) noexcept;

// Network devices.
// brctl addif BRIDGE INTERFACE
void bridge_add_interface(command_batch& batch, std::string_view bridge, std::string_view interface) noexcept;
// vconfig set_ingress_map DEVICE PRIORITY QOS: frames tagged with 802.1p QOS
// get the kernel priority PRIORITY.
void vlan_ingress_map(command_batch& batch, std::string_view device, int priority, int qos) noexcept;
// vconfig set_egress_map DEVICE PRIORITY QOS: the kernel priority PRIORITY
// leaves tagged with QOS.
void vlan_egress_map(command_batch& batch, std::string_view device, int priority, int qos) noexcept;

// Files that take one line at a time.
// echo 'LINE' >> PATH (or > PATH to start the file afresh). Line breaks in
// the line become blanks, so the file gains exactly one whole line.
void append_line(command_batch& batch, std::string_view line, const char* path) noexcept;
void replace_with_line(command_batch& batch, std::string_view line, const char* path) noexcept;
// A line of a list file, written as it is (line breaks kept): with echo, or
// with printf when it holds a backslash, which some shells' echo would read
// as an escape.
void write_list_line(command_batch& batch, std::string_view line, const char* path, bool start_afresh) noexcept;

// Wi-Fi.
// iwconfig IFNAME txpower DBM
void set_tx_power(command_batch& batch, std::string_view ifname, int dbm) noexcept;
void pause_seconds(command_batch& batch, int seconds) noexcept;
// Writes "IFNAME:<first word of the Tx-Power that iwconfig reports>" to
// /var/max_txpower_IFNAME (own_file) or to /var/max_txpower.
void record_tx_power(command_batch& batch, std::string_view ifname, bool own_file) noexcept;
// A name that may stand bare anywhere in a command, even inside a sed
// expression: letters, digits and '_' only, not empty.
bool plain_name(std::string_view name) noexcept;
// Restarts hostapd of a Wi-Fi interface on bridge br-BRIDGE: its configuration
// file is pointed from br-lan to the bridge, the running daemon (pid file)
// stopped and a new one started. The bridge must be a plain_name; nothing is
// added for any other. False when nothing was added.
bool restart_hostapd(command_batch& batch, std::string_view conf, std::string_view pid,
                     std::string_view bridge) noexcept;
// The same for wpa_supplicant (driver athr) of interface IFNAME.
bool restart_wpa_supplicant(command_batch& batch, std::string_view ifname, std::string_view conf,
                            std::string_view pid, std::string_view bridge) noexcept;

// ifup NAME: netifd takes the interface down and brings it up again.
void interface_up(command_batch& batch, std::string_view name) noexcept;

// Starts the device's reboot.
void reboot_device() noexcept;
