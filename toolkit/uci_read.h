// Reading the UCI store through the uci command: single options, and the
// `uci show | grep` pipelines of the queries, built here with their quoting.
#pragma once

#include <string>
#include <string_view>

// Runs "uci get KEY -q"; 0 and the first printed line, or -1 and the empty
// text when nothing was printed or the command could not be started.
int uci_get(std::string_view key, std::string& value);

// Runs "uci show KEY -q"; 0 and the value of the first line up to its first
// '=' (read as show_value does), when that line holds ".<last part of key>=".
// Otherwise -1 and the empty text.
int uci_show_value(std::string_view key, std::string& value);

// The value of a `uci show` line, given the text after the key and its '='.
// Stores print it in one of two forms: bare (Home, a list as its items
// joined by one blank) or quoted ('Home', an embedded ' as '\'', each list
// item quoted and the items separated by one blank). A complete quoted form
// is read back to what the bare form prints; anything else is taken as it is.
std::string show_value(std::string_view printed);

// show_value of the text after the first '=' of a whole `uci show` line;
// the empty text when the line has no '='.
std::string show_line_value(std::string_view line);

// The SSID of Wi-Fi interface position: everything after the first "ssid="
// of the first line of wifi_ssid_query, or "unknown" when there is none.
std::string wifi_ssid_at(int position);

// The pipelines the queries read.
// uci show wireless | grep "iface\[<position>\].ssid="
std::string wifi_ssid_query(int position);
// uci show wireless | grep "ssid="
std::string all_ssids_query();
// uci show CONFIG -q | grep "vlan\[<n>\].bridge="
std::string section_bridge_query(std::string_view config, int n);
// uci show network -q | grep interface | grep vlan
std::string vlan_interfaces_query();
// uci show network | grep interface | grep vlansw
std::string vlansw_interfaces_query();
// uci show network | grep KIND | grep ifname | grep IFNAME: the member-list
// lines of network that mention the interface, of the interfaces whose lines
// hold kind ("vlan" or "vlansw").
std::string members_naming_query(std::string_view kind, std::string_view ifname);
// uci show network | grep SIDE.OPTION=  (lan.gateway=, wan.dns=)
std::string network_option_query(std::string_view side, std::string_view option);
