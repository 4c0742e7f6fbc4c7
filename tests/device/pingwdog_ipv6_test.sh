#!/bin/bash
# zelpingwdog with IPv6 targets in the simulated access point, over real
# ICMPv6: ::1 answers and the device is never rebooted; an address on the
# upstream veth that nothing answers (a global one, then a link-local one
# with %eth1) leads to the reboot sequence after the failure count.
source "$(dirname "$0")/lib.sh"
need_program zelpingwdog

# --- ::1 answers: reply records with its hop limit, no reboot
cat > "$work_dir/answering.sh" <<'INSIDE'
zelpingwdog --app=pingwdog -ipaddr=::1 -interval=0 -delay=0 -failcount=3 &
pid=$!
status=running
i=0
while [ $i -lt 300 ]; do
    if ! kill -0 $pid 2>/dev/null; then wait $pid; status=$?; break; fi
    n=$(tr "\r" "\n" < /var/webspingwatchdog.msg 2>/dev/null | grep -c "^Reply from_pw")
    [ "$n" -ge 4 ] && break
    sleep 0.1
    i=$((i + 1))
done
if [ "$status" = running ]; then kill $pid; wait $pid 2>/dev/null; fi
echo $status > /var/test_status
INSIDE
sim -- sh "$work_dir/answering.sh"
expect_status 0 "sandbox"
records=$KEPT/records
tr '\r' '\n' < "$KEPT/var/webspingwatchdog.msg" > "$records" 2>/dev/null
expect_eq "$(cat "$KEPT/var/test_status")" running "watchdog still running after 4 cycles"
expect_eq "$(head -2 "$records")" "This is system tools of ping watchdog.
The target ip is ::1 and the number of failure to reboot is 3" "banner"
expect_true "4 reply records from ::1" test "$(grep -c '^Reply from_pw ::1: bytes=56 icmp_seq_pw=[0-9]* ttl=64 time=[0-9]*\.[0-9]\{3\} ms $' "$records")" -ge 4
expect_eq "$(grep -o 'icmp_seq_pw=[0-9]*' "$records" | head -3 | tr '\n' ' ')" "icmp_seq_pw=0 icmp_seq_pw=1 icmp_seq_pw=2 " "sequence from 0"
expect_file_lacks "$records" "Request timed out."
expect_no_file "$KEPT/var/sim/reboot.log" "no reboot"
expect_no_file "$KEPT/etc/reboot_history" "no reboot history"
expect_lines "$KEPT/var/log/zelpingwdog" 1
expect_file_matches "$KEPT/var/log/zelpingwdog" "^$STAMP_RE Running ping watchdog\.\.\.IP=\[::1\]\[interval\]=\[0\]\[startup delay\]=\[0\]\[failure_count\]=\[3\]$"

# --- silent IPv6 addresses on eth1: its packets go out to the upstream host,
# which has no such address and answers nothing.
cat > "$work_dir/silent.sh" <<'INSIDE'
ip -6 addr add fd99::1/64 dev eth1 nodad || exit 3
far_mac=$(ip -n upstream -o link show eth0 | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p')
for silent in fd99::2 fe80::99:2; do
    ip -6 neigh replace $silent lladdr "$far_mac" dev eth1 nud permanent || exit 4
done
zelpingwdog --app=pingwdog -ipaddr=fd99::2 -interval=0 -delay=0 -failcount=2
echo $? > /var/status_global
cp /var/webspingwatchdog.msg /var/result_global
zelpingwdog --app=pingwdog -ipaddr=fe80::99:2%eth1 -interval=0 -delay=0 -failcount=1
echo $? > /var/status_link
INSIDE
sim -- sh "$work_dir/silent.sh"
expect_status 0 "sandbox"
expect_eq "$(cat "$KEPT/var/status_global")" 0 "watchdog returned after the reboot command"
expect_eq "$(cat "$KEPT/var/result_global")" "This is system tools of ping watchdog.
The target ip is fd99::2 and the number of failure to reboot is 2
"$'Request timed out.\rRequest timed out.\rIt will be reboot  after 3 seconds!!!' "result file, global address"
expect_eq "$(cat "$KEPT/var/webspingwatchdog.msg")" "This is system tools of ping watchdog.
The target ip is fe80::99:2%eth1 and the number of failure to reboot is 1
"$'Request timed out.\rIt will be reboot  after 3 seconds!!!' "result file, link-local address"
expect_eq "$(cat "$KEPT/var/sim/reboot.log" 2>/dev/null)" "reboot
reboot" "the fake reboot was called once per watchdog"
expect_lines "$KEPT/etc/reboot_history" 2
S=$STAMP_RE
expect_file_matches "$KEPT/etc/reboot_history" "^$S Rebooted by ping watchdog\.\[IP\]=\[fd99::2\]$"
expect_file_matches "$KEPT/etc/reboot_history" "^$S Rebooted by ping watchdog\.\[IP\]=\[fe80::99:2%eth1\]$"
expect_file_matches "$KEPT/var/log/zelpingwdog" "^$S fcount=\[2\]$S delay=\[0\]$S delay=\[0\]$S ip=\[fd99::2\]$S Running\.\.\.zel_pingwdog$"
expect_no_file "$KEPT/etc/pingwdog_reboots" "no reboot count without a limit"

finish
