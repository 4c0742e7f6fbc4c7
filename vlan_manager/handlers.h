// The six commands of zelvlan. Each takes the program's argument count and
// list; the dispatcher does not look at the result.
//
// The functions of zelvlan are noexcept. Nothing in it catches an exception,
// and the only ones its code can meet are std::string's allocation failures,
// which end the program (std::terminate, no destructors run) with or without
// the marking; with it the compiler leaves out the clean-up code and tables
// of every temporary text.
#pragma once

int main_get_wifi_ssid(int argc, char** argv) noexcept;
int main_vlan_mgt(int argc, char** argv) noexcept;
int main_vlan_wpa(int argc, char** argv) noexcept;
int main_vlan_priority(int argc, char** argv) noexcept;
int main_refresh_lan_ip(int argc, char** argv) noexcept;
int main_vlan_uhttpd(int argc, char** argv) noexcept;
