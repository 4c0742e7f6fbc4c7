# The README's demo tour runs to its end on the sample settings, shows each
# of its steps, and its commands reach the fakes only.
source "$(dirname "$0")/lib.sh"
need_program uci

sim -- sh "$ZEL_SOURCE_DIR/sim/tour"
expect_status 0 "tour"
expect_line "$SIM_OUT" "store form: ${ZEL_STORE_FORM:-bare}"
expect_eq "$(grep -c '^==== [0-9]*\. ' "$SIM_OUT")" 13 "headings"
expect_line "$SIM_OUT" "The tour is over; the simulated access point is torn down now."
expect_file_lacks "$SIM_OUT" "sim:"

installed() { [ -x "$ZEL_STAGE/usr/sbin/$1" ] || [ -x "$ZEL_STAGE/sbin/$1" ]; }
if installed zelvlan; then
    expect_file_has "$SIM_OUT" '"ZelOffice" "ath0"'
    expect_file_lacks "$SIM_OUT" "zelvlan is not installed"
fi
if installed zelvlan && installed uci; then
    expect_file_has "$SIM_OUT" "+network.vlan10=interface"
    expect_file_has "$SIM_OUT" "uhttpd.main.listen_http=192.168.10.254:8080 127.0.0.1:8080"
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
