#!/bin/sh
# Writes the benchmark's UCI configs into DIR: DIR/small/network (7 sections)
# and DIR/large/network (200 sections, 1,400 lines).
set -eu
dir=$1
mkdir -p "$dir/small" "$dir/large"
section() {
    printf "config interface '%s'\n\toption ifname 'eth0.%d'\n\toption proto 'static'\n\toption ipaddr '10.%d.%d.1'\n\toption netmask '255.255.255.0'\n\toption type 'bridge'\n\n" "$1" "$2" $(($2 / 250)) $(($2 % 250))
}
{
    printf "config interface 'loopback'\n\toption ifname 'lo'\n\toption proto 'static'\n\toption ipaddr '127.0.0.1'\n\toption netmask '255.0.0.0'\n\n"
    printf "config interface 'lan'\n\toption ifname 'eth0'\n\toption type 'bridge'\n\toption proto 'static'\n\toption ipaddr '192.168.1.1'\n\toption netmask '255.255.255.0'\n\n"
    for i in 1 2 3 4 5; do section "vlan$((i * 10))" $((i * 10)); done
} > "$dir/small/network"
{
    printf "config interface 'lan'\n\toption ifname 'eth0'\n\toption type 'bridge'\n\toption proto 'static'\n\toption ipaddr '192.168.1.1'\n\toption netmask '255.255.255.0'\n\n"
    i=1
    while [ $i -lt 200 ]; do section "vlan$i" $i; i=$((i + 1)); done
} > "$dir/large/network"
