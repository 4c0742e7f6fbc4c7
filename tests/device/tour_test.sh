# The README's demo tour runs to its end on the sample settings with the
# platform's userland, shows each of its steps, and its commands reach the
# fakes only. After vlan-mgt and the network's reload every Wi-Fi interface
# is in one bridge, and the web server answers on a VLAN's address.
source "$(dirname "$0")/lib.sh"
need_program uci
need_openwrt

sim --openwrt --settings "$ZEL_SOURCE_DIR/sim/settings/default" -- sh "$ZEL_SOURCE_DIR/sim/tour"
expect_status 0 "tour"
expect_line "$SIM_OUT" "store form: ${ZEL_STORE_FORM:-bare}"
expect_line "$SIM_OUT" "network daemon: netifd"
expect_eq "$(grep -c '^==== [0-9]*\. ' "$SIM_OUT")" 13 "headings"
expect_line "$SIM_OUT" "The tour is over; the simulated access point is torn down now."
expect_file_lacks "$SIM_OUT" "sim:"

# The ports of each bridge in the `brctl show` after the network's reload, a
# "bridge port" line each.
reloaded_ports() {
    sed -n '/^\$ \/etc\/init.d\/network reload$/,/^\$ ip -br addr/p' "$SIM_OUT" |
        awk '$1 ~ /^br-/ { bridge = $1; if (NF >= 4) print bridge, $4; next }
             bridge != "" && NF == 1 && $1 !~ /^\$/ { print bridge, $1 }'
}

installed() { [ -x "$ZEL_STAGE/usr/sbin/$1" ] || [ -x "$ZEL_STAGE/sbin/$1" ]; }
if installed zelvlan; then
    expect_file_has "$SIM_OUT" '"ZelOffice" "ath0"'
    expect_file_lacks "$SIM_OUT" "zelvlan is not installed"
fi
if installed zelvlan && installed uci; then
    expect_file_has "$SIM_OUT" "+network.vlan10=interface"
    expect_line "$SIM_OUT" "    +network.vlan20.ifname=eth0.20 ath1"
    expect_line "$SIM_OUT" "    +network.vlansw2.ifname=eth0.40 ath2"
    expect_eq "$(reloaded_ports)" "br-lan ath0
br-lan eth0
br-vlan20 ath1
br-vlansw2 ath2" "bridge ports after the network's reload"
    expect_file_matches "$SIM_OUT" '^    br-vlan20 +UP +192\.168\.20\.1/24 '
    expect_file_matches "$SIM_OUT" '^    br-vlansw2 +UP +192\.168\.102\.2/24 '
    expect_file_has "$SIM_OUT" "uhttpd.main.listen_http=192.168.10.254:8080 127.0.0.1:8080"
    expect_eq "$(sed -n '/^\$ wget -q -O - http:\/\/192.168.20.1:8080\/$/{n;p;}' "$SIM_OUT")" \
        "    zeltools simulated access point" "the page from VLAN 20's address"
fi
if installed zelmaxtxpower; then
    expect_line "$KEPT/var/max_txpower" "ath0:20"
fi
if installed zelpingwdog; then
    expect_line "$KEPT/var/sim/reboot.log" "reboot"
    expect_file_has "$KEPT/etc/reboot_history" "10.99.0.2"
fi
if installed zelautoreboot; then
    expect_file_has "$KEPT/etc/reboot_history" "Scheduled reboot at"
fi

finish
