# Inside the access point's VM (sim/run --vm): what differs from the
# namespace sandbox. The kernel is a real one, so there are no fakes: VLAN
# devices are 802.1Q devices, the Wi-Fi interfaces are mac80211_hwsim radios
# served by Debian's hostapd and wpa_supplicant, vconfig and iwconfig are
# the real ones, and a reboot reboots the VM. The rest (file system, the
# platform's userland, its start order) is sim/lib's, as for --openwrt.

vm_port() { # name: the virtio serial port that qemu named so
    local port
    for port in /sys/class/virtio-ports/*; do
        [ "$(cat "$port/name" 2>/dev/null)" = "$1" ] && { echo "/dev/${port##*/}"; return 0; }
    done
    return 1
}

# Before anything else: the output goes to the host through the two ports,
# and however the guest's sim/run ends, its status goes into the run folder
# and the VM powers off. A reboot (SIGTERM to PID 1, as busybox's reboot
# sends it to init) reboots the VM.
vm_start() {
    export PATH=/usr/sbin:/usr/bin:/sbin:/bin
    local out err
    out=$(vm_port stdout) && err=$(vm_port stderr) || { echo "vm: no serial ports for the output" >/dev/console; busybox poweroff -f; }
    exec >"$out" 2>"$err" </dev/null
    # The run folder is soon under the sandbox's own /tmp: the line that
    # says how the run ended goes through a descriptor opened now.
    exec 9>"$SIM_VM_RUN/end"
    trap 'vm_end $?' EXIT
    trap 'vm_reboot' TERM
}

vm_end() { # status
    trap - EXIT TERM
    echo "exit $1" >&9
    vm_halt poweroff
}

# Lets the host take what is still on its way through the ports, then stops.
vm_halt() { # poweroff|reboot
    exec >/dev/null 2>&1
    sync
    sleep 0.2
    busybox "$1" -f
}

# What a reboot does to the VM: everything else ends, the results are kept,
# the file systems synced, then the kernel restarts, which ends qemu.
vm_reboot() {
    trap - EXIT TERM
    kill -TERM -1 2>/dev/null || true
    sleep 0.5
    kill -KILL -1 2>/dev/null || true
    keep_results || true
    echo "reboot after $(cut -d' ' -f1 /proc/uptime) s of uptime" >&9
    vm_halt reboot
}

# After make_file_system: the VM's programs over the machine's /usr, the
# kernel's modules, and device nodes the sandbox's /dev takes along.
vm_prepare() {
    make_writable /usr "$SIM_VM/root/usr"
    echo /sbin/modprobe > /proc/sys/kernel/modprobe
    modprobe -a 8021q bridge veth sch_netem cfg80211 mac80211 ||
        fail "the VM's kernel modules did not load"
    mkdir -p /dev/pts
    mount -t devpts devpts /dev/pts
}

# The tools: busybox first on PATH as in the sandbox, its reboot, halt and
# poweroff included (they signal PID 1); real brctl, vconfig, iwconfig,
# hostapd; wpa_supplicant through the driver name wrapper; the test tools.
vm_make_tools() {
    local busybox
    busybox=$(realpath "$(command -v busybox)")
    "$busybox" --install -s "$bin"
    # shellcheck disable=SC2086
    (cd "$bin" && rm -f brctl vconfig ip swapoff switch_root run-init ifup ifdown logread \
        init linuxrc telinit shutdown)
    ln -sf "$(realpath "$(command -v brctl)")" "$bin/brctl"
    install -m 755 "$sim_dir/vm/wpa_supplicant" "$sim_dir/vm/station" "$bin/"
    install -m 755 "$sim_dir/vm/hotplug-call" /sbin/hotplug-call
    mkdir -p /etc/hotplug.d/iface
    cp "$sim_dir/vm/wifi.hotplug" /etc/hotplug.d/iface/10-wifi
    cp "$sim_dir/vm/netifd-wifi.uc" /lib/netifd/main.uc
    install -m 755 "$sim_dir/tools/uplink-host" "$bin/uplink-host"
    printf '%s\n' "$sim_dir/uplink_host" > /run/sim/uplink_host.source
    [ "$SIM_STORE" != platform ] || ln -sf "$SIM_OPENWRT/bin/uci" "$bin/uci"
    mount --bind "$busybox" /bin/sh
}

# Nothing runs before this holds: this is not the build machine's kernel.
vm_check_safety() {
    [ "$(cat /proc/sys/kernel/random/boot_id)" != "$SIM_HOST_BOOT_ID" ] || fail "not on a kernel of its own"
    [ $$ -eq 1 ] || fail "not the VM's first process"
    [ /bin/sh -ef "$(command -v busybox)" ] || fail "/bin/sh is not busybox"
}

# --- the network

# Radios: one per wifi-iface, named athN, in AP mode or in station mode with
# four addresses (a bridge can hold it then); one per station for its
# upstream AP; five spare ones (wlanN) for test stations.
vm_spare_radios=5

vm_make_network() {
    local n count stations=0 mode
    count=$(wifi_count)
    for ((n = 0; n < count; n++)); do
        case $(setting "wireless.@wifi-iface[$n].mode") in *ap*) ;; *sta*) stations=$((stations + 1)) ;; esac
    done
    modprobe mac80211_hwsim radios=$((count + stations + vm_spare_radios)) ||
        fail "no Wi-Fi radios"
    for ((n = 0; n < count; n++)); do
        ip link set "wlan$n" name "ath$n"
        mode=$(setting "wireless.@wifi-iface[$n].mode")
        case $mode in
            *ap*) iw dev "ath$n" set type __ap ;;
            *sta*) iw dev "ath$n" set 4addr on ;;
        esac
    done
    local radio=$count
    for ((n = 0; n < count; n++)); do
        case $(setting "wireless.@wifi-iface[$n].mode") in
            *ap*) ;;
            *sta*) start_station_upstream "$n" "wlan$radio"; radio=$((radio + 1)) ;;
        esac
    done

    ip link set lo up
    make_switch
    make_upstream
}

# The LAN's or a VLAN's address at .254 of its network.
far_address() { # address netmask
    local IFS=. a b c d m1 m2 m3 m4 bits=0 o
    read -r a b c d <<< "$1"
    read -r m1 m2 m3 m4 <<< "${2:-255.255.255.0}"
    for o in $m1 $m2 $m3 $m4; do
        while [ "$o" -gt 0 ]; do bits=$((bits + (o & 1))); o=$((o >> 1)); done
    done
    echo "$((a & m1)).$((b & m2)).$((c & m3)).$(( (d & m4) | 254 ))/$bits"
}

# The trunk: eth0 leads to a switch, a namespace with the LAN's .254
# untagged on its port and a sub-interface for every VLAN of the settings
# with that VLAN's .254: a VLAN section's network, a switch VLAN's the one
# its bridge gets (192.168.<100+N>.0/24 for Wi-Fi interface N,
# 192.168.111.0/24 for all of them, unless the network config names it).
make_switch() {
    ip netns add switch
    ip link add eth0 type veth peer name trunk netns switch
    # A host on each VLAN: an address answers ARP on its own VLAN only.
    ip netns exec switch sysctl -qw net.ipv4.conf.all.arp_ignore=1
    ip -n switch link set lo up
    ip -n switch link set trunk up
    local lan
    lan=$(setting network.lan.ipaddr)
    [ -z "$lan" ] || ip -n switch addr add "$(far_address "$lan" "$(setting network.lan.netmask)")" dev trunk
    local k id address netmask bridge e name
    for ((k = 0; ; k++)); do
        setting "vlan.@vlan[$k]" | grep -q . || break
        id=$(setting "vlan.@vlan[$k].vlanid")
        [ "${id:-0}" -gt 0 ] 2>/dev/null || continue
        address=$(setting "vlan.@vlan[$k].ip")
        netmask=$(setting "vlan.@vlan[$k].netmask")
        switch_vlan "$id" "$address" "$netmask"
    done
    for ((k = 0; ; k++)); do
        setting "vlansw.@vlan[$k]" | grep -q . || break
        id=$(setting "vlansw.@vlan[$k].vlanid")
        [ "${id:-0}" -gt 0 ] 2>/dev/null || continue
        bridge=$(setting "vlansw.@vlan[$k].bridge")
        case $bridge in
            *"All "*) name=vlansw4all address=192.168.111.1 ;;
            *) e=$(wifi_index_of_ssid "$bridge"); name=vlansw$e address=192.168.$((100 + e)).1 ;;
        esac
        [ -z "$(setting "network.$name.ipaddr")" ] || address=$(setting "network.$name.ipaddr")
        switch_vlan "$id" "$address" "$(setting "network.$name.netmask")"
    done
}

switch_vlan() { # id address netmask
    ip -n switch link show "trunk.$1" >/dev/null 2>&1 ||
        ip -n switch link add link trunk name "trunk.$1" type vlan id "$1"
    ip -n switch link set "trunk.$1" up
    [ -z "$2" ] || ip -n switch addr add "$(far_address "$2" "$3")" dev "trunk.$1" 2>/dev/null || true
}

wifi_index_of_ssid() { # ssid: its wifi-iface's index, 0 when none has it
    local n count
    count=$(wifi_count)
    for ((n = 0; n < count; n++)); do
        [ "$(setting "wireless.@wifi-iface[$n].ssid")" = "$1" ] && { echo "$n"; return; }
    done
    echo 0
}

# A station's upstream: an AP with its SSID and key on a radio of its own,
# in the namespace upstream-athN, that takes four-address stations into its
# bridge br-up.
start_station_upstream() { # index radio
    local ns=upstream-ath$1 phy
    phy=$(cat "/sys/class/net/$2/phy80211/name")
    ip netns add "$ns"
    iw phy "$phy" set netns name "$ns"
    ip -n "$ns" link set lo up
    ip -n "$ns" link add br-up type bridge
    ip -n "$ns" link set br-up up
    ap_config "$2" "" "$(setting "wireless.@wifi-iface[$1].ssid")" \
        "$(setting "wireless.@wifi-iface[$1].encryption")" "$(setting "wireless.@wifi-iface[$1].key")" 1 \
        > "/var/run/hostapd-$ns.conf"
    printf "%s\n" "wds_sta=1" "wds_bridge=br-up" >> "/var/run/hostapd-$ns.conf"
    ip netns exec "$ns" hostapd -P "/var/run/hostapd-$ns.pid" -B "/var/run/hostapd-$ns.conf" >/dev/null ||
        fail "the upstream AP of ath$1 did not start"
}

# --- the platform's Wi-Fi start-up

encrypted() { # encryption option
    [ -n "$1" ] && case $1 in *none*) false ;; *) true ;; esac
}

# A hostapd configuration; the AP is on its wifi-device's channel where the
# world regulatory domain lets an AP send there (1 to 11), else on 1.
ap_config() { # interface bridge ssid encryption key channel
    local channel=$6
    case $channel in [1-9]|1[01]) ;; *) channel=1 ;; esac
    echo "interface=$1"
    [ -z "$2" ] || echo "bridge=$2"
    printf '%s\n' "driver=nl80211" "ctrl_interface=/var/run/hostapd" "ssid=$3" "hw_mode=g" "channel=$channel"
    if encrypted "$4"; then
        printf '%s\n' "wpa=2" "wpa_key_mgmt=WPA-PSK" "wpa_pairwise=CCMP" "wpa_passphrase=$5"
    fi
}

# As a device's Wi-Fi start-up: hostapd for each AP, on br-lan when it is
# encrypted (vlan-wpa moves it), in its network's bridge through netifd when
# it is open; wpa_supplicant for each station, on br-lan, with the device's
# driver name. Run files under /var/run as the programs expect them.
vm_start_wifi_daemons() {
    local n count iface mode ssid enc key channel
    count=$(wifi_count)
    for ((n = 0; n < count; n++)); do
        iface="wireless.@wifi-iface[$n]"
        [ "$(setting "$iface.disabled")" = 1 ] && continue
        mode=$(setting "$iface.mode")
        ssid=$(setting "$iface.ssid")
        enc=$(setting "$iface.encryption")
        key=$(setting "$iface.key")
        case $mode in
            *ap*)
                channel=$(setting "wireless.$(setting "$iface.device").channel")
                if encrypted "$enc"; then
                    ap_config "ath$n" br-lan "$ssid" "$enc" "$key" "$channel"
                else
                    ap_config "ath$n" "" "$ssid" "$enc" "" "$channel"
                fi > "/var/run/hostapd-ath$n.conf"
                PATH=$sandbox_path hostapd -P "/var/run/wifi-ath$n.pid" -B "/var/run/hostapd-ath$n.conf" \
                    >/dev/null || echo "sim: hostapd did not start on ath$n" >&2
                ;;
            *sta*)
                {
                    printf '%s\n' "ctrl_interface=/var/run/wpa_supplicant" "network={" "	ssid=\"$ssid\""
                    if encrypted "$enc"; then
                        printf '%s\n' "	psk=\"$key\"" "	key_mgmt=WPA-PSK"
                    else
                        printf '%s\n' "	key_mgmt=NONE"
                    fi
                    echo "}"
                } > "/var/run/wpa_supplicant-ath$n.conf"
                PATH=$sandbox_path wpa_supplicant -b br-lan -B -P "/var/run/wifi-ath$n.pid" -D athr \
                    -i "ath$n" -c "/var/run/wpa_supplicant-ath$n.conf" >/dev/null ||
                    echo "sim: wpa_supplicant did not start on ath$n" >&2
                ;;
        esac
    done
}

# COMMAND as a child of PID 1, whose wait a reboot's SIGTERM interrupts.
vm_run_command() { # COMMAND...
    local status=0
    (
        trap - TERM
        exec 9>&-
        export PATH=$sandbox_path SIM=1 SIM_VM=1 SIM_SILENT_ADDR=$silent_addr SIM_LIVE_ADDR=$live_addr
        unset SIM_SETTINGS SIM_KEEP SIM_STAGE SIM_CARRY SIM_CARRY_PWD SIM_STORE_FORM SIM_HOST_BOOT_ID \
            SIM_STORE SIM_OPENWRT SIM_OPENWRT_START SIM_VM_RUN SIM_COMMAND
        exec "$@"
    ) &
    wait $! || status=$?
    # wait returns early for a signal; a reboot's trap never comes back.
    return "$status"
}
