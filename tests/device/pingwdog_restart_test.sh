#!/bin/bash
# zelpingwdog's restart of the uplink in the simulated access point with the
# platform's userland: a host that stops answering until the uplink's link
# goes down and up (uplink-host --stuck-after) is mended by one `ifup wan`,
# which netifd carries out, and the device is not rebooted; without
# -restartiface the same host gets a reboot; a host that never answers gets
# one restart, then a reboot after the failure count once more.
source "$(dirname "$0")/lib.sh"
need_program zelpingwdog
need_openwrt
command -v cc >/dev/null || skip "no C compiler for the uplink host"

cat > "$work_dir/restart.sh" <<'INSIDE'
. "$ZEL_SOURCE_DIR/tests/device/pingwdog_watch.sh"
records="^Reply from_pw\\|^Request timed out"
host() { uplink-host "$@" >/dev/null || exit 3; }
uptime() { ifstatus wan | jsonfilter -e '@.uptime'; }
args="--app=pingwdog -interval=0 -delay=1 -failcount=3"

host 10.99.0.5 --stuck-after 2
# wan's uptime and the clock before: after a restart of wan its uptime is
# shorter than the time since.
echo "$(uptime) $(date +%s)" > /var/wan_before
watch mended 8 "$records" $args -ipaddr=10.99.0.5 -restartiface=wan
echo "$(uptime) $(date +%s)" > /var/wan_after
ls /etc/reboot_history /etc/pingwdog_reboots > /var/mended.etc 2>/dev/null

host 10.99.0.6 --stuck-after 2
run unmended $args -ipaddr=10.99.0.6

host 10.99.0.7 --loss 100 --seed 1
run dead $args -ipaddr=10.99.0.7 -restartiface=wan
cp /var/sim/uplink-host-*.log /var/
INSIDE
sim --openwrt -- sh "$work_dir/restart.sh"
expect_status 0 "sandbox"
V=$KEPT/var
S=$STAMP_RE
records() { tr '\r' '\n' < "$V/$1.result" | tail -n +3 | sed 's/: bytes=.*//'; }
restarts() { grep -cE "^$S Restarting interface wan\$" "$V/$1.log"; }

# --- the stuck host: one restart, the uplink bounced, answers again, no reboot
expect_eq "$(cat "$V/mended.status")" running "mended: still watching"
expect_eq "$(cat "$V/mended.reboots")" 0 "mended: no reboot"
expect_eq "$(restarts mended)" 1 "mended: one restart line"
expect_lines "$V/mended.log" 2
expect_eq "$(cat "$V/mended.etc")" "" "mended: nothing written to /etc"
read -r up0 t0 < "$V/wan_before"
read -r up1 t1 < "$V/wan_after"
expect_true "mended: wan was restarted (uptime $up0 at $t0, $up1 at $t1)" \
    test "$up1" -lt $((up0 + t1 - t0 - 1))
expect_eq "$(records mended)" "Reply from_pw 10.99.0.5
Reply from_pw 10.99.0.5
Request timed out.
Request timed out.
Request timed out.
Reply from_pw 10.99.0.5
Reply from_pw 10.99.0.5
Reply from_pw 10.99.0.5" "mended: answered again after the restart"
expect_eq "$(grep '^carrier ' "$V/uplink-host-10.99.0.5.log" | head -2)" "carrier down
carrier up" "mended: the host saw the link go down and up"

# --- the same host without -restartiface: rebooted after the failure count
expect_eq "$(cat "$V/unmended.reboots")" 1 "unmended: rebooted"
expect_eq "$(restarts unmended)" 0 "unmended: no restart"
expect_eq "$(records unmended | grep -c '^Request timed out')" 3 "unmended: three unanswered cycles"

# --- a host that never answers: one restart, then a reboot after three more
expect_eq "$(cat "$V/dead.reboots")" 2 "dead: rebooted (the second reboot of the run)"
expect_eq "$(restarts dead)" 1 "dead: one restart"
expect_eq "$(records dead | grep -c '^Request timed out')" 6 "dead: six unanswered cycles"
expect_file_matches "$KEPT/etc/reboot_history" "^$S Rebooted by ping watchdog\.\[IP\]=\[10\.99\.0\.7\]\$"
finish
