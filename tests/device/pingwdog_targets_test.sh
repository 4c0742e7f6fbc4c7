#!/bin/bash
# zelpingwdog with several targets in the simulated access point, over real
# ICMP: 127.0.0.1 and ::1 answer, 10.99.0.2 and 10.99.0.4 (led to the
# upstream host, which doesn't have them) don't, and 2001:db8::5 has no
# route at all (its sends fail).
source "$(dirname "$0")/lib.sh"
need_program zelpingwdog

cat > "$work_dir/targets.sh" <<'INSIDE'
far_mac=$(ip -n upstream -o link show eth0 | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p')
ip neigh replace 10.99.0.4 lladdr "$far_mac" dev eth1 nud permanent || exit 3
. "$ZEL_SOURCE_DIR/tests/device/pingwdog_watch.sh"
args="--app=pingwdog -interval=0 -delay=0 -failcount=2"
watch one_of_two 6 "^Reply from_pw" $args -ipaddr=127.0.0.1,10.99.0.2
run both_needed $args -ipaddr=127.0.0.1,10.99.0.2 -reliability=2
run both_silent $args -ipaddr=10.99.0.2,10.99.0.4
run refused_name $args -ipaddr=127.0.0.1,gateway
run refused_twice $args -ipaddr=127.0.0.1,127.0.0.1
run refused_reliability $args -ipaddr=127.0.0.1,10.99.0.2 -reliability=3
watch mixed 8 "^Reply from_pw" $args -ipaddr=::1,127.0.0.1,2001:db8::5 -reliability=2
INSIDE
sim -- sh "$work_dir/targets.sh"
expect_status 0 "sandbox"
V=$KEPT/var
S=$STAMP_RE
records() { tr '\r' '\n' < "$V/$1.result"; }

# --- one answering and one silent target, one answer needed: no reboot,
# one line for the silent one
expect_eq "$(cat "$V/one_of_two.status")" running "one of two: still watching"
expect_eq "$(cat "$V/one_of_two.reboots")" 0 "one of two: no reboot"
expect_eq "$(records one_of_two | head -2)" "This is system tools of ping watchdog.
The target ip is 127.0.0.1,10.99.0.2 and the number of failure to reboot is 2" "one of two: banner"
expect_true "one of two: replies from 127.0.0.1 only" \
    test "$(records one_of_two | grep -c '^Reply from_pw 127\.0\.0\.1: bytes=56 icmp_seq_pw=[0-9]* ttl=64 time=')" -ge 6
expect_eq "$(records one_of_two | grep -vc '^Reply from_pw 127\.0\.0\.1: ')" 2 "one of two: nothing but replies"
expect_eq "$(grep -c 'Target' "$V/one_of_two.log")" 1 "one of two: one line about a target"
expect_file_matches "$V/one_of_two.log" "^$S Target 10\.99\.0\.2 stopped answering$"

# --- the same with both needed: reboot after the failure count
expect_eq "$(cat "$V/both_needed.reboots")" 1 "both needed: one reboot"
expect_eq "$(records both_needed | grep -c '^Reply from_pw 127\.0\.0\.1: ')" 2 "both needed: two replies"
expect_eq "$(records both_needed | grep -c '^Request timed out\.$')" 2 "both needed: two unanswered cycles"
expect_eq "$(records both_needed | tail -1)" "It will be reboot  after 3 seconds!!!" "both needed: notice"

# --- two silent targets: the reboot after two cycles, not four
expect_eq "$(cat "$V/both_silent.result")" "This is system tools of ping watchdog.
The target ip is 10.99.0.2,10.99.0.4 and the number of failure to reboot is 2
"$'Request timed out.\rRequest timed out.\rIt will be reboot  after 3 seconds!!!' "both silent: result file"
expect_eq "$(cat "$V/both_silent.reboots")" 2 "both silent: one more reboot"
expect_file_matches "$KEPT/etc/reboot_history" "^$S Rebooted by ping watchdog\.\[IP\]=\[10\.99\.0\.2,10\.99\.0\.4\]$"

# --- refused lists: the start line, an empty result file, no reboot
for name in refused_name refused_twice refused_reliability; do
    expect_eq "$(cat "$V/$name.status")" 0 "$name: exit status"
    expect_eq "$(cat "$V/$name.result")" "" "$name: empty result file"
    expect_eq "$(cat "$V/$name.reboots")" 2 "$name: no reboot"
    expect_lines "$V/$name.log" 2
done
expect_file_matches "$V/refused_name.log" "^$S Running ping watchdog\.\.\.IP=\[127\.0\.0\.1,gateway\]"
expect_file_matches "$V/refused_reliability.log" "^$S reliability=\[3\]$S ip=\[127\.0\.0\.1,10\.99\.0\.2\]$S fcount=\[2\]"

# --- IPv6 and IPv4 mixed, two of three needed; the third can't be sent to
expect_eq "$(cat "$V/mixed.status")" running "mixed: still watching"
expect_eq "$(cat "$V/mixed.reboots")" 2 "mixed: no reboot"
expect_true "mixed: replies from ::1" test "$(records mixed | grep -c '^Reply from_pw ::1: bytes=56 ')" -ge 3
expect_true "mixed: replies from 127.0.0.1" test "$(records mixed | grep -c '^Reply from_pw 127\.0\.0\.1: bytes=56 ')" -ge 3
expect_file_lacks "$V/mixed.result" "Request timed out."
expect_file_matches "$V/mixed.log" "^$S Target 2001:db8::5 stopped answering$"

finish
