// The six commands of zelvlan. Each takes the program's argument count and
// list; the dispatcher does not look at the result.
#pragma once

int main_get_wifi_ssid(int argc, char** argv);
int main_vlan_mgt(int argc, char** argv);
int main_vlan_wpa(int argc, char** argv);
int main_vlan_priority(int argc, char** argv);
int main_refresh_lan_ip(int argc, char** argv);
int main_vlan_uhttpd(int argc, char** argv);
