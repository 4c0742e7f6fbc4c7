#!/bin/bash
# zelvlan's refresh-lan-ip, vlan-wpa, vlan-priority and vlan-set-uhttpd in the
# simulated access point: real uci store, busybox ifconfig, sed and kill, and
# the fake security daemons with their pid files.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=${ZEL_SOURCE_DIR:-$(cd "$here/../.." && pwd)}
sim_run=$source_dir/sim/run
[ -x "$sim_run" ] || { echo "no simulated access point at $sim_run"; exit 1; }
[ -n "${ZEL_STAGE:-}" ] || { echo "ZEL_STAGE is not set"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
case_name=
fail() { echo "FAIL [$case_name]: $*"; failures=$((failures + 1)); }

stamp='\[[0-9]{2}-[0-9]{2}-[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{6}\]'

# fresh_settings: the settings that take every branch, copied to change them per case.
fresh_settings() {
    rm -rf "$work/settings" "$work/keep"
    mkdir -p "$work/keep"
    cp -r "$source_dir/sim/settings/every-branch" "$work/settings"
}

# add_interface NAME PROTO IFNAME [IPADDR]: a network interface section.
add_interface() {
    printf "\nconfig interface '%s'\n\toption type 'bridge'\n\toption proto '%s'\n\toption ifname '%s'\n" \
        "$1" "$2" "$3" >> "$work/settings/network"
    if [ -n "${4:-}" ]; then
        printf "\toption ipaddr '%s'\n\toption netmask '255.255.255.0'\n" "$4" >> "$work/settings/network"
    fi
}

# in_sandbox NAME SCRIPT: runs the shell script inside the access point.
in_sandbox() {
    case_name=$1
    "$sim_run" --settings "$work/settings" --keep "$work/keep" -- sh -c "$2" || fail "sandbox failed"
    var=$work/keep/var
}

expect_file() {
    local got
    got=$(cat "$1" 2>/dev/null) || { fail "$1 missing"; return; }
    [ "$got" = "$2" ] || fail "$(basename "$1") holds '$got', expected '$2'"
}

# expect_log TEXT...: the run log is exactly these lines after their stamps.
expect_log() {
    local -a lines
    mapfile -t lines < "$var/log/zelvlan" 2>/dev/null
    [ "${#lines[@]}" -eq $# ] || fail "run log has ${#lines[@]} lines, expected $#: ${lines[*]}"
    local k=0 want
    for want in "$@"; do
        [[ ${lines[$k]:-} =~ ^${stamp}\ (.*)$ ]] && [ "${BASH_REMATCH[1]}" = "$want" ] ||
            fail "log line $k is '${lines[$k]:-}', expected '$want'"
        k=$((k + 1))
    done
}

# ---------------------------------------------------------- refresh-lan-ip
# A DHCP LAN: the sandbox leaves br-lan without address, the lease is
# played by setting one with ifconfig. vlan10 is static at a new address.
fresh_settings
sed -i "/config interface 'lan'/,/^$/ s/option proto 'static'/option proto 'dhcp'/" "$work/settings/network"
add_interface vlan10 static 'eth0.10' 192.168.10.9
in_sandbox refresh_dhcp_lan '
    ifconfig br-lan 192.168.1.77 netmask 255.255.0.0 up
    zelvlan --app=refresh-lan-ip
    uci get vlan.cfg029c96.ip > /var/lan_ip
    uci get vlan.cfg029c96.netmask > /var/lan_mask
    uci get vlan.@vlan[0].ip > /var/vlan10_ip
    uci get vlan.@vlan[2].ip > /var/vlan20_ip
    uci get network.lan.proto > /var/lan_proto'
expect_file "$var/lan_ip" 192.168.1.77
expect_file "$var/lan_mask" 255.255.0.0
expect_file "$var/vlan10_ip" 192.168.10.9
expect_file "$var/vlan20_ip" 192.168.20.1
expect_file "$var/lan_proto" dhcp
expect_log "Running...main_refresh_lan_ip"
grep -q "option ip '192.168.1.77'" "$work/keep/etc/config/vlan" || fail "vlan config not committed"

# --------------------------------------------------------------- vlan-wpa
# ath0 (access point, psk2) is in VLAN 10; ath2 (station, psk2) is in the
# switch-VLAN bridge vlansw2; ath1 is unencrypted.
fresh_settings
add_interface vlan10 static 'eth0.10 ath0' 192.168.10.1
add_interface vlansw2 static 'eth0.40 ath2'
in_sandbox vlan_wpa '
    cat /var/run/wifi-ath0.pid > /var/old_ath0
    cat /var/run/wifi-ath2.pid > /var/old_ath2
    zelvlan --app=vlan-wpa
    for name in ath0 ath2; do
        old=$(cat /var/old_$name)
        # The killed daemon is gone (or a zombie) within a few seconds.
        n=0
        while [ -d /proc/$old ] && ! grep -q "^State:.*Z" /proc/$old/status 2>/dev/null && [ $n -lt 50 ]; do
            sleep 0.1; n=$((n + 1))
        done
        if [ -d /proc/$old ] && ! grep -q "^State:.*Z" /proc/$old/status 2>/dev/null; then
            echo alive > /var/old_state_$name
        else
            echo gone > /var/old_state_$name
        fi
        new=$(cat /var/run/wifi-$name.pid)
        if [ "$new" != "$old" ] && kill -0 "$new" 2>/dev/null; then
            echo running > /var/new_state_$name
        else
            echo missing > /var/new_state_$name
        fi
    done'
expect_file "$var/old_state_ath0" gone
expect_file "$var/new_state_ath0" running
expect_file "$var/old_state_ath2" gone
expect_file "$var/new_state_ath2" running
grep -qx "bridge=br-vlan10" "$var/run/hostapd-ath0.conf" || fail "hostapd-ath0.conf: $(grep bridge "$var/run/hostapd-ath0.conf")"
grep -q "br-lan" "$var/run/hostapd-ath0.conf" && fail "hostapd-ath0.conf still names br-lan"
[ "$(tail -n 1 "$var/sim/hostapd.log")" = "hostapd -P /var/run/wifi-ath0.pid -B /var/run/hostapd-ath0.conf" ] ||
    fail "hostapd.log: $(cat "$var/sim/hostapd.log")"
[ "$(tail -n 1 "$var/sim/wpa_supplicant.log")" = \
  "wpa_supplicant -b br-vlansw2 -B -P /var/run/wifi-ath2.pid -D athr -i ath2 -c /var/run/wpa_supplicant-ath2.conf" ] ||
    fail "wpa_supplicant.log: $(cat "$var/sim/wpa_supplicant.log")"
expect_log "[vlan_wpa] AP mode ath0 for VLAN 10 with encryption[psk2]" \
    "[vlan_wpa] STA mode, Ethernet trunk vlansw2 at ath2 with encryption[psk2]" \
    "Running...main_vlan_wpa"

# ---------------------------------------------------------- vlan-priority
# No /proc/net/vlan entries here: only the log lines show.
fresh_settings
add_interface vlan10 static 'eth0.10 eth0.100 ath0.10 ath1' 192.168.10.1
add_interface vlan20 static 'eth0.20 ath1.20' 192.168.20.1
add_interface vlansw0 static 'eth0.40 ath0'
add_interface vlansw4all static 'eth0.40 eth0.50 ath2'
in_sandbox vlan_priority 'zelvlan --app=vlan-priority'
expect_log "[vlan] Set VLAN priority...[eth0.10]=5" "[vlan] Set VLAN priority...[ath0.10]=5" \
    "[vlan] Set VLAN priority...[eth0.20]=2" "[vlan] Set VLAN priority...[ath1.20]=2" \
    "[vlansw] Set VLAN priority...[eth0.40]=4" "[vlansw] Set VLAN priority...[eth0.50]=1" \
    "Running...main_vlan_priority"
[ ! -s "$var/sim/vconfig.log" ] || fail "vconfig was asked: $(cat "$var/sim/vconfig.log")"

# ---------------------------------------------------------- vlan-set-uhttpd
uhttpd_lists='
    uci get uhttpd.main.listen_http > /var/http 2>/dev/null || echo absent > /var/http
    uci get uhttpd.main.listen_https > /var/https 2>/dev/null || echo absent > /var/https'

fresh_settings
in_sandbox uhttpd_switch_on "zelvlan --app=vlan-set-uhttpd -webport=8080; $uhttpd_lists"
expect_file "$var/http" "192.168.10.1:8080 127.0.0.1:8080 192.168.1.1:8080 192.168.20.1:8080"
expect_file "$var/https" absent
expect_log "Running HTTP...[Port]=[8080] at IP=192.168.10.1 127.0.0.1 192.168.1.1 192.168.20.1 " \
    "Running...main_vlan_uhttpd"

fresh_settings
sed -i "s/option enabled '1'/option enabled '0'/" "$work/settings/vlanac"
sed -i "s/option webmode 'HTTP'/option webmode 'HTTPS'/" "$work/settings/dropbear"
in_sandbox uhttpd_switch_off_https "zelvlan --app=vlan-set-uhttpd -webport=8443; $uhttpd_lists"
expect_file "$var/http" absent
expect_file "$var/https" "0.0.0.0:8443"
expect_log "Running HTTPS...[Port]=[8443] at IP=0.0.0.0:8443" "Running...main_vlan_uhttpd"

# Switch on with a DHCP LAN: the LAN section's stored address follows br-lan.
fresh_settings
sed -i "/config interface 'lan'/,/^$/ s/option proto 'static'/option proto 'dhcp'/" "$work/settings/network"
in_sandbox uhttpd_dhcp_lan "ifconfig br-lan 192.168.1.50 netmask 255.255.255.0 up
    zelvlan --app=vlan-set-uhttpd; $uhttpd_lists
    uci get vlan.cfg029c96.ip > /var/lan_ip"
expect_file "$var/lan_ip" 192.168.1.50
# The refresh is committed before the section's own entry is read.
expect_file "$var/http" "192.168.10.1:80 127.0.0.1:80 192.168.1.50:80 192.168.20.1:80"

if [ "$failures" -eq 0 ]; then
    echo "vlan commands: all cases passed"
    exit 0
fi
echo "vlan commands: $failures failures"
exit 1
