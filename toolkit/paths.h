// Every path on the device that the tools read or write. Nothing in the
// environment changes them: the tools may run with raised privileges.
#pragma once

namespace paths {
constexpr const char* vlan_log = "/var/log/zelvlan";
constexpr const char* pingwdog_log = "/var/log/zelpingwdog";
constexpr const char* autoreboot_log = "/var/log/zelautoreboot";
constexpr const char* maxtxpower_log = "/var/log/zelmaxtxpower";
constexpr const char* reboot_history = "/etc/reboot_history";
constexpr const char* ssid_list = "/var/zelvlan_ssid";
constexpr const char* max_txpower = "/var/max_txpower";
constexpr const char* max_txpower_prefix = "/var/max_txpower_";
constexpr const char* proc_vlan_dir = "/proc/net/vlan/";
constexpr const char* protocols = "/etc/protocols";
constexpr const char* run_dir = "/var/run/";
// The ping watchdog's result file lives beside the device's other results.
constexpr const char* pingwdog_result_dir = "/var/";
constexpr const char* pingwdog_result_name = "webspingwatchdog.msg";
// The ping watchdog's count of reboots in a row without an answer.
constexpr const char* pingwdog_reboots = "/etc/pingwdog_reboots";
}
