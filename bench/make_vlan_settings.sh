#!/bin/sh
# Writes a settings directory for vlan-mgt runs: BASE's configs with 4 Wi-Fi
# interfaces, N VLAN sections and 8 switch-VLAN sections.
# Usage: make_vlan_settings.sh BASE_SETTINGS OUT N
set -eu
base=$1 out=$2 n=$3
rm -rf "$out"
mkdir -p "$out"
cp "$base"/* "$out"/
{
    printf "config wifi-device 'wifi0'\n\toption type 'atheros'\n\n"
    for i in 0 1 2 3; do
        printf "config wifi-iface\n\toption device 'wifi0'\n\toption mode 'ap'\n\toption ssid 'Net%d'\n\toption encryption 'none'\n\n" "$i"
    done
} > "$out/wireless"
{
    # The LAN section first and second, as the web interface writes them.
    printf "config vlan\n\toption vlanid '0'\n\toption vlan_used 'off'\n\toption bridge 'LAN'\n\n"
    printf "config vlan\n\toption vlanid '0'\n\toption vlan_used 'on'\n\toption bridge 'LAN'\n\toption ip '192.168.1.1'\n\toption netmask '255.255.255.0'\n\n"
    i=1
    while [ "$i" -le "$n" ]; do
        case $((i % 3)) in
            0) bridge='All Others' ;;
            *) bridge="Net$((i % 4))" ;;
        esac
        if [ $((i % 2)) -eq 0 ]; then tagging=wifi; else tagging=ether; fi
        printf "config vlan\n\toption vlanid '%d'\n\toption vlan_used 'on'\n\toption bridge '%s'\n\toption tagging '%s'\n\toption ip '10.0.%d.1'\n\toption netmask '255.255.255.0'\n\toption priority '%d'\n\n" \
            $((i + 10)) "$bridge" "$tagging" "$i" $((i % 8))
        i=$((i + 1))
    done
} > "$out/vlan"
{
    i=0
    while [ "$i" -lt 8 ]; do
        if [ "$i" -eq 7 ]; then bridge='All Others'; else bridge="Net$((i % 4))"; fi
        printf "config vlan\n\toption vlanid '%d'\n\toption bridge '%s'\n\toption priority '%d'\n\n" $((i + 100)) "$bridge" "$i"
        i=$((i + 1))
    done
} > "$out/vlansw"
printf "config activation 'activation'\n\toption enabled '1'\n" > "$out/vlanac"
