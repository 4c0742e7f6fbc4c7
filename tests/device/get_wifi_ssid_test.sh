#!/bin/bash
# zelvlan --app=get-wifi-ssid in the simulated access point: the SSID list
# file, with ordinary and hostile SSIDs, and with no SSID at all.
source "$(dirname "$0")/lib.sh"
need_program zelvlan uci

file() { cat "$KEPT/var/zelvlan_ssid"; }

# The list made again after the SSID at position N is deleted, over the list
# made before it.
without_ssid() { # N
    sim_sh "zelvlan --app=get-wifi-ssid
uci delete wireless.@wifi-iface[$1].ssid; uci commit wireless
zelvlan --app=get-wifi-ssid"
}

sim -- zelvlan --app=get-wifi-ssid
expect_status 0
expect_eq "$(file)" '"All Others" "all"
"ZelOffice" "ath0"
"ZelGuest" "ath1"
"Backhaul" "ath2"' "SSID list of the default settings"
expect_file_matches "$KEPT/var/log/zelvlan" "^$STAMP_RE Running\.\.\.main_get_wifi_ssid$"

# A gap at position 1 ends the list; the file is rewritten whole.
without_ssid 1
expect_eq "$(file)" '"All Others" "all"
"ZelOffice" "ath0"' "SSID list with a gap"

# Quotes, backslashes and shell syntax stay one line each; nothing runs.
sim_sh "uci set wireless.@wifi-iface[0].ssid=\"Bob's \\\"net\\\"; reboot\"
uci set wireless.@wifi-iface[1].ssid='back\\slash \$(reboot) \`reboot\`'
uci commit wireless
zelvlan --app=get-wifi-ssid"
expect_status 0
expect_eq "$(file)" '"All Others" "all"
"Bob'"'"'s \"net\"; reboot" "ath0"
"back\\slash $(reboot) `reboot`" "ath1"
"Backhaul" "ath2"' "SSID list with hostile SSIDs"
expect_no_file "$KEPT/var/sim/reboot.log" "nothing rebooted"

# No SSID at position 0: the All Others entry alone, not an old list.
without_ssid 0
expect_eq "$(file)" '"All Others" "all"' "SSID list without an SSID at 0"

finish
