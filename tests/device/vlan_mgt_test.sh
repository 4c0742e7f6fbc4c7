#!/bin/bash
# zelvlan --app=vlan-mgt in the simulated access point: the network config
# it writes, the Wi-Fi interfaces it adds to running bridges, its run log,
# and the teardown when the VLAN switch is off.
source "$(dirname "$0")/lib.sh"
need_program zelvlan uci

large=$ZEL_SOURCE_DIR/tests/device/settings/vlan_large

# Interfaces of the network config that the VLAN manager owns, as uci shows them.
owned() { grep -E '^network\.vlan' "$1" | sort; }

# The lines uci shows for a static bridge interface of a /24.
bridge_interface() { # name members ipaddr
    printf '%s\n' "network.$1.ifname=$2" "network.$1.ipaddr=$3" "network.$1.netmask=255.255.255.0" \
        "network.$1.proto=static" "network.$1.type=bridge" "network.$1=interface"
}

# --- default settings: bridges exist, the Wi-Fi interfaces are free of br-lan
sim_sh '
for i in ath0 ath1 ath2; do brctl delif br-lan $i; done
brctl addbr br-vlansw2; brctl addbr br-vlansw4all
zelvlan --app=vlan-mgt
for b in br-vlansw2 br-vlansw4all; do ls /sys/class/net/$b/brif > /var/$b.members; done'
expect_status 0
kept_show network > "$KEPT/var/network.show"
expected=$(bridge_interface vlan10 "eth0.10 ath0" 192.168.10.1
    bridge_interface vlan20 "eth0.20 ath1.20" 192.168.20.1
    bridge_interface vlan30 "eth0.30 ath0 ath1 ath2" 192.168.30.1
    bridge_interface vlansw2 "eth0.40 ath2" 192.168.102.2
    bridge_interface vlansw4all "eth0.50 ath0 ath1 ath2" 192.168.111.1)
expect_eq "$(owned "$KEPT/var/network.show")" "$(LC_ALL=C sort <<<"$expected")" "network config after vlan-mgt"
expect_line "$KEPT/var/network.show" "network.lan.ifname=eth0"
expect_file_lacks "$KEPT/var/network.show" "vlan99"
# Committed, not only staged.
expect_file_has "$KEPT/etc/config/network" "vlansw4all"
# ath2 joined its own bridge first, so only ath0 and ath1 are left for the shared one.
expect_eq "$(cat "$KEPT/var/br-vlansw2.members")" "ath2" "members of br-vlansw2"
expect_eq "$(cat "$KEPT/var/br-vlansw4all.members" | tr '\n' ' ')" "ath0 ath1 " "members of br-vlansw4all"
log=$KEPT/var/log/zelvlan
expect_lines "$log" 2
expect_true "setup line first" grep -qE "^$STAMP_RE \[vlan\] Setup vlan \.\.\. id=10\[ip=192\.168\.10\.1\],id=20\[ip=192\.168\.20\.1\]$" <(sed -n 1p "$log")
expect_true "command line second" grep -qE "^$STAMP_RE Running\.\.\.main_vlan_mgt$" <(sed -n 2p "$log")

# --- built, then the switch turned off: every vlan and vlansw interface goes
for off in 0 absent; do
    if [ $off = 0 ]; then switch='uci set vlanac.activation.enabled=0'; else switch='uci delete vlanac.activation.enabled'; fi
    sim_sh "
zelvlan --app=vlan-mgt
$switch; uci commit vlanac
zelvlan --app=vlan-mgt"
    expect_status 0
    kept_show network > "$KEPT/var/network.show"
    expect_eq "$(owned "$KEPT/var/network.show")" "" "switch $off: no VLAN interface left"
    expect_line "$KEPT/var/network.show" "network.lan.ipaddr=192.168.1.1"
    expect_line "$KEPT/var/network.show" "network.wan=interface"
    expect_lines "$KEPT/var/log/zelvlan" 3
    expect_true "switch $off: teardown logs only its command line" \
        grep -qE "^$STAMP_RE Running\.\.\.main_vlan_mgt$" <(sed -n 3p "$KEPT/var/log/zelvlan")
done

# --- hostile values from UCI stay values
settings=$(settings_copy)
sim_sh --settings "$settings" "
uci set vlan.@vlan[0].ip=\"1.2.3.4';reboot;'\\\$(reboot)\"
uci set vlan.@vlan[0].netmask='255.0.0.0;reboot'
uci commit vlan
zelvlan --app=vlan-mgt"
expect_status 0
kept_show network > "$KEPT/var/network.show"
expect_line "$KEPT/var/network.show" "network.vlan10.ipaddr=1.2.3.4';reboot;'\$(reboot)"
expect_line "$KEPT/var/network.show" "network.vlan10.netmask=255.0.0.0;reboot"
expect_no_file "$KEPT/var/sim/reboot.log" "nothing rebooted"
expect_file_matches "$KEPT/var/log/zelvlan" "id=10\[ip=1\.2\.3\.4';reboot;'\\\$\(reboot\)\],id=20"

# --- 32 VLAN sections, 8 switch-VLANs over four Wi-Fi interfaces
sim_sh --settings "$large" '
zelvlan --app=vlan-mgt'
expect_status 0
kept_show network > "$KEPT/var/network.show"
show=$KEPT/var/network.show
expect_eq "$(grep -cE '^network\.vlan[0-9]+=interface$' "$show")" 32 "VLAN interfaces"
ssid_index=(0 1 2 3)
on_ids=
for k in $(seq 0 31); do
    id=$((100 + k))
    if [ $((k % 8)) -eq 7 ]; then
        if [ $((k % 2)) -eq 1 ]; then members="eth0.$id ath0.$id ath1.$id ath2.$id ath3.$id"
        else members="eth0.$id ath0 ath1 ath2 ath3"; fi
    else
        e=${ssid_index[$((k % 4))]}
        if [ $((k % 2)) -eq 1 ]; then members="eth0.$id ath$e.$id"; else members="eth0.$id ath$e"; fi
    fi
    expect_line "$show" "network.vlan$id.ifname=$members"
    expect_line "$show" "network.vlan$id.ipaddr=10.$k.0.1"
    [ $((k % 3)) -ne 0 ] && on_ids+="${on_ids:+,}id=$id[ip=10.$k.0.1]"
done
expect_line "$show" "network.vlansw0.ifname=eth0.200 eth0.204 ath0"
expect_line "$show" "network.vlansw1.ifname=eth0.201 eth0.205 ath1"
expect_line "$show" "network.vlansw2.ifname=eth0.202 ath2"
expect_line "$show" "network.vlansw3.ifname=eth0.203 ath3"
expect_line "$show" "network.vlansw3.ipaddr=192.168.103.222"
expect_line "$show" "network.vlansw4all.ifname=eth0.206 eth0.207 ath0 ath1 ath2 ath3"
expect_file_lacks "$show" "vlan99"
expect_lines "$KEPT/var/log/zelvlan" 2
expect_true "large setup line" grep -qxF "$on_ids" <(sed -n '1s/.*Setup vlan \.\.\. //p' "$KEPT/var/log/zelvlan")

finish
