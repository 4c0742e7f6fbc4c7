# Inside the sandbox: the devices and Wi-Fi daemons that the platform's
# start-up makes from the settings. The settings are read with the staged
# uci; `uci get` prints a value alike in either store form.

setting() { # config.section.option: its value, empty where there is none
    PATH=$sandbox_path uci -q get "$1" || true
}

wifi_count() {
    local n=0
    while PATH=$sandbox_path uci -q get "wireless.@wifi-iface[$n]" >/dev/null; do
        n=$((n + 1))
    done
    echo "$n"
}

# Named interfaces of the network settings other than lan whose type is bridge.
other_bridges() {
    local name
    for name in $(PATH=$sandbox_path uci -q show network | sed -n 's/^network\.\([^.=]*\)=interface$/\1/p'); do
        [ "$name" != lan ] && [ "$(setting "network.$name.type")" = bridge ] && echo "$name"
    done
    return 0
}

add_to_bridge() { # bridge device: only a device that exists and is in no bridge yet
    [ -e "/sys/class/net/$2" ] || return 0
    [ -e "/sys/class/net/$2/master" ] && return 0
    brctl addif "$1" "$2"
}

# Gives a bridge its static address, as the network start-up does.
set_address() { # bridge interface
    local proto ipaddr netmask
    proto=$(setting "network.$2.proto")
    ipaddr=$(setting "network.$2.ipaddr")
    netmask=$(setting "network.$2.netmask")
    if [ "${proto:-static}" = static ] && [ -n "$ipaddr" ]; then
        busybox ifconfig "$1" "$ipaddr" netmask "${netmask:-255.255.255.0}" up
    fi
    return 0
}

make_network() {
    local n count net iface="wireless.@wifi-iface"
    ip link set lo up
    ip link add eth0 type veth peer name veth-eth0
    count=$(wifi_count)
    for ((n = 0; n < count; n++)); do
        ip link add "ath$n" type veth peer name "veth-ath$n"
        printf '%s\n' "$(setting "$iface[$n].ssid")" > "/var/sim/iwconfig/ath$n.essid"
        printf '%s\n' "$(setting "$iface[$n].mode")" > "/var/sim/iwconfig/ath$n.mode"
        echo 17 > "/var/sim/iwconfig/ath$n.txpower"
    done

    # With the platform's userland, netifd makes the bridges and addresses.
    [ -z "$SIM_OPENWRT_START" ] && make_bridges
    make_upstream
}

# The LAN bridge with eth0 and the Wi-Fi interfaces of the lan network,
# as the platform's network and Wi-Fi start-up leave them.
make_bridges() {
    local n count net iface="wireless.@wifi-iface"
    count=$(wifi_count)
    brctl addbr br-lan
    brctl addif br-lan eth0
    for ((n = 0; n < count; n++)); do
        net=$(setting "$iface[$n].network")
        [ "${net:-lan}" = lan ] && add_to_bridge br-lan "ath$n"
    done
    set_address br-lan lan

    # Every other bridge interface of the settings, with those of its members
    # that exist and are free.
    local name member
    for name in $(other_bridges); do
        brctl addbr "br-$name" 2>/dev/null || continue
        for member in $(setting "network.$name.ifname"); do add_to_bridge "br-$name" "$member"; done
        set_address "br-$name" "$name"
    done
}

make_upstream() {
    # The upstream side: eth1 to a host in a namespace of its own that
    # answers at 10.99.0.3; 10.99.0.2 leads there too and answers nothing.
    # 2001:db8:99::/64 is on-link for the IPv6 hosts of uplink-host (no
    # duplicate detection: usable at once); 2001:db8::/64 stays unrouted.
    ip netns add upstream
    ip link add eth1 type veth peer name eth0 netns upstream
    ip -n upstream link set lo up
    ip -n upstream addr add "$live_addr/24" dev eth0
    ip -n upstream link set eth0 up
    # netifd gives eth1 its address from the settings' wan.
    [ -n "$SIM_OPENWRT_START" ] || ip addr add 10.99.0.1/24 brd + dev eth1
    ip -6 addr add 2001:db8:99::1/64 dev eth1 nodad
    ip link set eth1 up
    local far_mac
    far_mac=$(ip -n upstream -o link show eth0 | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p')
    ip neigh replace "$silent_addr" lladdr "$far_mac" dev eth1 nud permanent

    local dev
    for dev in /sys/class/net/*; do
        ip link set "${dev##*/}" up
    done
}

# The platform's Wi-Fi start-up: one security daemon per encrypted interface,
# on br-lan, with its run files under /var/run.
start_wifi_daemons() {
    local n count enc mode ssid key iface
    count=$(wifi_count)
    for ((n = 0; n < count; n++)); do
        iface="wireless.@wifi-iface[$n]"
        enc=$(setting "$iface.encryption")
        [ -n "$enc" ] || continue
        case $enc in *none*) continue ;; esac
        [ "$(setting "$iface.disabled")" = 1 ] && continue
        mode=$(setting "$iface.mode")
        ssid=$(setting "$iface.ssid")
        key=$(setting "$iface.key")
        case $mode in
            *ap*)
                printf '%s\n' "interface=ath$n" "bridge=br-lan" "driver=athr" "ctrl_interface=/var/run/hostapd" \
                    "ssid=$ssid" "wpa=2" "wpa_key_mgmt=WPA-PSK" "wpa_pairwise=CCMP" "wpa_passphrase=$key" \
                    > "/var/run/hostapd-ath$n.conf"
                PATH=$sandbox_path hostapd -P "/var/run/wifi-ath$n.pid" -B "/var/run/hostapd-ath$n.conf"
                ;;
            *sta*)
                printf '%s\n' "ctrl_interface=/var/run/wpa_supplicant" "network={" "	ssid=\"$ssid\"" \
                    "	psk=\"$key\"" "	key_mgmt=WPA-PSK" "}" > "/var/run/wpa_supplicant-ath$n.conf"
                PATH=$sandbox_path wpa_supplicant -b br-lan -B -P "/var/run/wifi-ath$n.pid" -D athr \
                    -i "ath$n" -c "/var/run/wpa_supplicant-ath$n.conf"
                ;;
        esac
    done
}
