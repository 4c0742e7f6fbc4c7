#!/bin/bash
# What zelvlan writes, applied by the platform's own programs in the
# simulated access point (sim/run --openwrt) on the sample settings:
# vlan-mgt and a network reload give the bridges netifd builds, with their
# members and addresses; vlan-set-uhttpd and a restart of the web server give
# the addresses uhttpd answers on; refresh-lan-ip copies back the LAN address
# that netifd set; with the VLAN switch off, vlan-mgt and a reload leave no
# VLAN interface, and the web server answers on every address.
#
# This kernel has no 802.1Q: the VLAN sub-devices (eth0.20, ath0.10) can't
# exist, so a bridge whose members are all such stays down, and netifd's
# view (ubus call network.device status) is read for them.
source "$(dirname "$0")/lib.sh"
need_program zelvlan
need_openwrt

cat > "$work_dir/inside.sh" <<'INSIDE'
up() { ubus call network.interface.$1 status 2>/dev/null | grep -q '"up": true'; }
# settle INTERFACE...: waits up to ten seconds for each to be up.
settle() {
    for i in $(seq 100); do
        all=1
        for n in "$@"; do up $n || all=; done
        [ -n "$all" ] && return 0
        sleep 0.1
    done
}
# bridges FILE: one line per bridge interface of the config: netifd's view
# of br-NAME (present, up, members) and the kernel's IPv4 address on it.
bridges() {
    for b in $(uci show network | sed -n "s/^network\.\([^.]*\)\.type='*bridge'*$/\1/p"); do
        s=$(ubus call network.device status "{\"name\":\"br-$b\"}")
        echo "br-$b present=$(echo "$s" | jsonfilter -e '@.present') up=$(echo "$s" | jsonfilter -e '@.up')" \
            "members=$(echo "$s" | jsonfilter -e '@["bridge-members"][*]' | tr '\n' ' ')" \
            "address=$(ip -4 -o addr show dev br-$b 2>/dev/null | awk '{print $4}')"
    done > $1
}
# fetch NAME PORT ADDRESS...: the page at each address, or "refused".
fetch() {
    name=$1 port=$2
    shift 2
    for a in "$@"; do
        echo "$a $(wget -O - http://$a:$port/ 2>/dev/null || echo refused)"
    done > /var/$name.pages
}
# restart_web NAME: restarts uhttpd and keeps the addresses it listens on.
restart_web() {
    /etc/init.d/uhttpd restart
    for i in $(seq 50); do netstat -ltn | grep -q ":$2 " && break; sleep 0.1; done
    netstat -ltn | awk -v p=":$2\$" '$4 ~ p {print $4}' | sort > /var/$1.listen
}

zelvlan --app=vlan-mgt >/dev/null 2>&1
/etc/init.d/network reload
settle vlan20 vlansw2
bridges /var/on.bridges
for d in eth0.10 ath0.10 eth0.30 ath0.30 ath1.30 ath2.30; do
    echo "$d $(ubus call network.device status "{\"name\":\"$d\"}" | jsonfilter -e '@.type')"
done > /var/on.subdevices
ubus list 'network.interface.*' > /var/on.interfaces

zelvlan --app=vlan-set-uhttpd -webport=8080
restart_web on 8080
fetch on 8080 127.0.0.1 192.168.1.1 192.168.20.1 192.168.102.2 10.99.0.1

# netifd sets a new LAN address; refresh-lan-ip copies it back.
uci set network.lan.ipaddr=192.168.1.77
uci commit network
/etc/init.d/network reload
for i in $(seq 100); do ip -4 -o addr show dev br-lan | grep -q 192.168.1.77 && break; sleep 0.1; done
ip -4 -o addr show dev br-lan | awk '{print $4}' > /var/refresh.bridge
zelvlan --app=refresh-lan-ip
uci get vlan.cfg029c96.ip > /var/refresh.stored

uci set vlanac.activation.enabled=0
uci commit vlanac
zelvlan --app=vlan-mgt >/dev/null 2>&1
/etc/init.d/network reload
sleep 1
ubus list 'network.interface.*' > /var/off.interfaces
for b in /sys/class/net/br-*; do
    [ "$(cat $b/operstate)" = down ] || echo ${b##*/}
done > /var/off.up
zelvlan --app=vlan-set-uhttpd -webport=8080
restart_web off 8080
fetch off 8080 127.0.0.1 192.168.1.77 10.99.0.1
INSIDE
sim --settings "$ZEL_SOURCE_DIR/sim/settings/default" --openwrt -- sh "$work_dir/inside.sh"
expect_status 0 "sandbox"
V=$KEPT/var
page="zeltools simulated access point"

# --- the VLAN switch on: the bridges netifd built. Each untagged Wi-Fi
# interface is in one bridge; a bridge of sub-devices alone can't come up
# here, and netifd knows its members as VLAN devices.
expect_eq "$(cat "$V/on.bridges")" "br-lan present=true up=true members=ath0 eth0  address=192.168.1.1/24
br-vlansw2 present=true up=true members=ath2 eth0.40  address=192.168.102.2/24
br-vlan10 present=false up= members= address=
br-vlan20 present=true up=true members=ath1 eth0.20  address=192.168.20.1/24
br-vlan30 present=false up= members= address=" "bridges with the VLAN switch on"
expect_eq "$(cat "$V/on.subdevices")" "eth0.10 VLAN
ath0.10 VLAN
eth0.30 VLAN
ath0.30 VLAN
ath1.30 VLAN
ath2.30 VLAN" "the members of the bridges that can't come up, in netifd's view"
expect_eq "$(cat "$V/on.interfaces")" "network.interface.lan
network.interface.loopback
network.interface.vlan10
network.interface.vlan20
network.interface.vlan30
network.interface.vlansw2
network.interface.wan" "netifd's interfaces: the stale vlan99 is gone"

# --- the web server on the loopback and every VLAN in use, no other
expect_eq "$(cat "$V/on.listen")" "127.0.0.1:8080
192.168.1.1:8080
192.168.10.1:8080
192.168.20.1:8080" "uhttpd listens where vlan-set-uhttpd said"
expect_eq "$(cat "$V/on.pages")" "127.0.0.1 $page
192.168.1.1 $page
192.168.20.1 $page
192.168.102.2 refused
10.99.0.1 refused" "pages fetched with the VLAN switch on"

# --- refresh-lan-ip: the address netifd set on br-lan, stored for the LAN
expect_eq "$(cat "$V/refresh.bridge")" "192.168.1.77/24" "netifd set the new LAN address"
expect_eq "$(cat "$V/refresh.stored")" "192.168.1.77" "refresh-lan-ip stored it"

# --- the VLAN switch off: no VLAN interface, no VLAN bridge up, every address
expect_eq "$(cat "$V/off.interfaces")" "network.interface.lan
network.interface.loopback
network.interface.wan" "netifd's interfaces with the VLAN switch off"
expect_eq "$(cat "$V/off.up")" "br-lan" "bridges up with the VLAN switch off"
expect_eq "$(cat "$V/off.listen")" "0.0.0.0:8080" "uhttpd listens on every address"
expect_eq "$(cat "$V/off.pages")" "127.0.0.1 $page
192.168.1.77 $page
10.99.0.1 $page" "pages fetched with the VLAN switch off"
finish
