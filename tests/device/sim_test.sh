# The simulated access point itself: what it builds, what its fakes do, and
# that it leaves nothing behind on the host.
source "$(dirname "$0")/lib.sh"
need_program uci

mark=simtest$$$RANDOM
in_sandbox_pids() { # processes that carry the mark in their environment
    local p
    for p in /proc/[0-9]*; do
        { tr '\0' '\n' <"$p/environ"; } 2>/dev/null | grep -qx "SIM_TEST_MARK=$mark" && echo "${p#/proc/}"
    done
}

# --- isolation and teardown ------------------------------------------------
links_before=$(ip -o link | sed 's/^[0-9]*: //')
mounts_before=$(findmnt -rn -o TARGET,SOURCE,FSTYPE | sort)
netns_before=$(ip netns list 2>/dev/null)

SIM_TEST_MARK=$mark sim_sh '
    echo marked > /var/log/'"$mark"'
    echo marked > /etc/'"$mark"'
    echo marked > /tmp/'"$mark"'
    echo marked > /etc/config/'"$mark"'
    readlink /proc/self/ns/net > /var/netns
    readlink /proc/self/ns/mnt > /var/mntns
    sleep 1000 &
    exit 7'
expect_status 7 "the command's exit status"
expect_no_file "/var/log/$mark" "host /var/log untouched"
expect_no_file "/etc/$mark" "host /etc untouched"
expect_no_file "/etc/config/$mark" "host /etc/config untouched"
expect_no_file "/tmp/$mark" "host /tmp untouched"
expect_file "$KEPT/var/log/$mark" "--keep carries /var out"
expect_file "$KEPT/etc/config/$mark" "--keep carries /etc/config out"
expect_eq "$(in_sandbox_pids)" "" "processes left behind"
expect_eq "$(ip -o link | sed 's/^[0-9]*: //')" "$links_before" "host links after the run"
expect_eq "$(findmnt -rn -o TARGET,SOURCE,FSTYPE | sort)" "$mounts_before" "host mounts after the run"
expect_eq "$(ip netns list 2>/dev/null)" "$netns_before" "host named network namespaces"
sandbox_net=$(cat "$KEPT/var/netns")
sandbox_mnt=$(cat "$KEPT/var/mntns")
expect_true "the sandbox had its own network namespace" [ "$sandbox_net" != "$(readlink /proc/self/ns/net)" ]
left=$(for p in /proc/[0-9]*; do
    n=$(readlink "$p/ns/net" 2>/dev/null); m=$(readlink "$p/ns/mnt" 2>/dev/null)
    [ "$n" = "$sandbox_net" ] || [ "$m" = "$sandbox_mnt" ] && echo "${p#/proc/}"
done)
expect_eq "$left" "" "processes still in the sandbox's namespaces"

# --- reboot only reaches the fake ------------------------------------------
# Every name of the list, on PATH and in every directory of the list, is
# first checked to be the fake; only then a few are run.
sim_sh '
    . "$ZEL_SOURCE_DIR/sim/lib/reboot_names.sh"
    fake=/run/sim/fakes/reboot
    for name in $reboot_names; do
        p=$(command -v $name) || { echo "NOT ON PATH: $name"; exit 9; }
        [ "$p" -ef "$fake" ] || { echo "NOT FAKE: $p"; exit 9; }
        for dir in $reboot_dirs; do
            [ -e "$dir/$name" ] || continue
            [ "$dir/$name" -ef "$fake" ] || { echo "NOT FAKE: $dir/$name"; exit 9; }
        done
    done
    reboot
    /sbin/reboot -f
    systemctl reboot
    /bin/systemctl reboot
    shutdown -r now
    /sbin/init 6
    echo alive'
expect_status 0 "reboot attempts"
expect_file_has "$SIM_OUT" alive
expect_file_lacks "$SIM_OUT" "NOT FAKE"
reboot_log=$KEPT/var/sim/reboot.log
expect_lines "$reboot_log" 6
expect_line "$reboot_log" "reboot"
expect_line "$reboot_log" "reboot -f"
expect_line "$reboot_log" "systemctl reboot"
expect_line "$reboot_log" "shutdown -r now"
expect_line "$reboot_log" "init 6"

# --- the shell and the tool set --------------------------------------------
sim_sh '
    echo "sh=$(readlink /proc/$$/exe)"
    [ /bin/sh -ef "$(command -v busybox)" ] && echo "bin-sh-is-busybox"
    case $PATH in /run/sim/bin:*) echo "tools-first" ;; esac
    for t in sed grep cut awk kill cat sleep echo ifconfig; do
        case $(readlink "/run/sim/bin/$t") in *busybox) echo "busybox-$t" ;; esac
    done
    echo "brctl=$(readlink -f "$(command -v brctl)")"
    echo "zelvlan=$(command -v zelvlan)"
    echo "uci=$(command -v uci)"
    [ -e /etc/uci.conf ] || echo "no uci.conf"
    echo "tz=$TZ"'
expect_status 0 "tool set"
expect_file_matches "$SIM_OUT" '^sh=.*busybox$'
expect_line "$SIM_OUT" "bin-sh-is-busybox"
expect_line "$SIM_OUT" "tools-first"
for t in sed grep cut awk kill cat sleep echo ifconfig; do
    expect_line "$SIM_OUT" "busybox-$t"
done
expect_line "$SIM_OUT" "brctl=$(readlink -f "$(command -v brctl)")"
if [ -x "$ZEL_STAGE/usr/sbin/zelvlan" ]; then
    expect_line "$SIM_OUT" "zelvlan=$ZEL_STAGE/usr/sbin/zelvlan"
fi
if [ -x "$ZEL_STAGE/sbin/uci" ]; then
    expect_line "$SIM_OUT" "uci=$ZEL_STAGE/sbin/uci"
fi
if [ "${ZEL_STORE_FORM:-bare}" = bare ]; then
    expect_line "$SIM_OUT" "no uci.conf"
fi
TZ=UTC-3 sim_sh 'echo "tz=$TZ"'
expect_line "$SIM_OUT" "tz=UTC-3"
sim_sh --store-form quoted 'cat /etc/uci.conf'
expect_eq "$(cat "$SIM_OUT")" "show_form quoted" "/etc/uci.conf of the quoted store"

# --- devices from the settings ---------------------------------------------
settings=$(settings_copy)
for ssid in Five Six; do
    printf "\nconfig wifi-iface\n\toption device 'wifi1'\n\toption network 'lan'\n\toption mode 'ap'\n\toption ssid '%s'\n\toption encryption 'psk2'\n" \
        "$ssid" >>"$settings/wireless"
done
sed -i "s/option ipaddr '192.168.1.1'/option ipaddr '10.20.30.40'/; s/option netmask '255.255.255.0'/option netmask '255.255.0.0'/" \
    "$settings/network"
sim_sh --settings "$settings" '
    ls /sys/class/net | grep -E "^(eth|ath|br-)" | tr "\n" " "; echo
    ifconfig br-lan | grep "inet addr"
    brctl show br-lan | sed -n "2,\$p" | awk "{print \$NF}" | sort | tr "\n" " "; echo
    cat /etc/config/network | grep -c 10.20.30.40'
expect_status 0 "devices"
expect_line "$SIM_OUT" "ath0 ath1 ath2 ath3 ath4 br-lan br-vlan99 eth0 eth1 "
expect_file_matches "$SIM_OUT" '^ +inet addr:10\.20\.30\.40 +Bcast:10\.20\.255\.255 +Mask:255\.255\.0\.0$'
expect_line "$SIM_OUT" "ath0 ath1 ath2 ath3 ath4 eth0 "
expect_eq "$(cat "$KEPT/etc/config/wireless")" "$(cat "$settings/wireless")" "settings copied into /etc/config"

# --- the Wi-Fi daemons of the platform's start-up --------------------------
sim_sh --settings "$settings" '
    for n in 0 1 2 3 4; do
        if [ -e /var/run/wifi-ath$n.pid ] && kill -0 $(cat /var/run/wifi-ath$n.pid); then echo "ath$n alive"; fi
    done
    grep -l "^bridge=br-lan$" /var/run/hostapd-ath*.conf
    ls /var/run/wpa_supplicant-ath*.conf
    # a restart as the VLAN manager does it
    kill `cat /var/run/wifi-ath0.pid`
    old=$(cat /var/run/wifi-ath0.pid)
    hostapd -P /var/run/wifi-ath0.pid -B /var/run/hostapd-ath0.conf
    new=$(cat /var/run/wifi-ath0.pid)
    sleep 0.2
    kill -0 $old 2>/dev/null || echo "old gone"
    kill -0 $new && [ "$new" != "$old" ] && echo "new alive"
    hostapd -B -P /var/run/x.pid /var/run/missing.conf; echo "missing conf=$?"'
expect_status 0 "daemons"
expect_line "$SIM_OUT" "ath0 alive"
expect_file_lacks "$SIM_OUT" "ath1 alive"
expect_line "$SIM_OUT" "ath2 alive"
expect_line "$SIM_OUT" "ath3 alive"
expect_line "$SIM_OUT" "ath4 alive"
expect_line "$SIM_OUT" "/var/run/hostapd-ath0.conf"
expect_line "$SIM_OUT" "/var/run/wpa_supplicant-ath2.conf"
expect_line "$SIM_OUT" "old gone"
expect_line "$SIM_OUT" "new alive"
expect_line "$SIM_OUT" "missing conf=1"
expect_line "$KEPT/var/sim/hostapd.log" "hostapd -P /var/run/wifi-ath0.pid -B /var/run/hostapd-ath0.conf"
expect_line "$KEPT/var/sim/wpa_supplicant.log" \
    "wpa_supplicant -b br-lan -B -P /var/run/wifi-ath2.pid -D athr -i ath2 -c /var/run/wpa_supplicant-ath2.conf"
expect_file_has "$KEPT/var/run/hostapd-ath0.conf" "ssid=ZelOffice"

# --- the simulated driver and vconfig ---------------------------------------
power='iwconfig ath0 | grep Tx-Power | cut -d= -f 2 | awk "{print \$1}"'
sim_sh "
    echo before=\$($power)
    iwconfig ath0 txpower 30; echo granted=\$($power)
    iwconfig ath0 txpower 12; echo lowered=\$($power)
    iwconfig ath9 txpower 30; echo missing=\$?
    iwconfig ath1 | head -1
    vconfig set_ingress_map eth0.10 3 0; echo vconfig=\$?"
expect_line "$SIM_OUT" "before=17"
expect_line "$SIM_OUT" "granted=20"
expect_line "$SIM_OUT" "lowered=12"
expect_line "$SIM_OUT" "missing=1"
expect_file_matches "$SIM_OUT" '^ath1 +IEEE 802.11ng  ESSID:"ZelGuest"'
expect_line "$SIM_OUT" "vconfig=0"
expect_line "$KEPT/var/sim/iwconfig.log" "iwconfig ath0 txpower 30"
expect_line "$KEPT/var/sim/vconfig.log" "vconfig set_ingress_map eth0.10 3 0"
SIM_MAX_TXPOWER=27 sim_sh "iwconfig ath0 txpower 30; echo granted=\$($power)"
expect_line "$SIM_OUT" "granted=27"

# --- real ICMP: loopback and the live upstream answer, the silent one not ---
sim_sh '
    ping -c 1 -W 2 127.0.0.1 >/dev/null && echo "loopback answers"
    ping -c 1 -W 2 $SIM_LIVE_ADDR >/dev/null && echo "live answers"
    ping -c 2 -W 1 $SIM_SILENT_ADDR >/dev/null || echo "silent stays silent"
    ip -s link show eth1 | awk "/TX:/ { getline; print \"sent \" (\$2 > 0) }"'
expect_line "$SIM_OUT" "loopback answers"
expect_line "$SIM_OUT" "live answers"
expect_line "$SIM_OUT" "silent stays silent"
expect_line "$SIM_OUT" "sent 1"

# --- refusals ---------------------------------------------------------------
"$SIM_RUN" --settings "$work_dir/none" -- true 2>"$work_dir/err"
expect_eq "$?" 125 "missing settings refused"
"$SIM_RUN" --stage "$work_dir/none" -- true 2>"$work_dir/err"
expect_eq "$?" 125 "missing stage refused"
expect_file_has "$work_dir/err" "no staged programs"

no_host_dir=/etc/sim-keep-$mark
"$SIM_RUN" --keep "$no_host_dir" -- true 2>"$work_dir/err"
expect_eq "$?" 125 "keeping results under /etc refused"
expect_no_file "$no_host_dir" "nothing made in the host's /etc"
"$SIM_RUN" --keep / -- true 2>"$work_dir/err"
expect_eq "$?" 125 "keeping results in / refused"
# With the platform's userland the sandbox has a /dev of its own: a stage
# there would be missing inside.
if [ -x "$ZEL_OPENWRT/sbin/netifd" ] && [ -d /dev/shm ]; then
    shm_stage=/dev/shm/sim-stage-$mark
    cp -r "$ZEL_STAGE" "$shm_stage"
    "$SIM_RUN" --openwrt --stage "$shm_stage" -- true 2>"$work_dir/err"
    expect_eq "$?" 125 "a stage under /dev refused with --openwrt"
    expect_file_has "$work_dir/err" "is under /dev"
    rm -rf "$shm_stage"
fi

finish
