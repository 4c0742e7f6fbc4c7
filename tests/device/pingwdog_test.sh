#!/bin/bash
# zelpingwdog in the simulated access point with real ICMP: an answering
# target never reboots the device, also while other processes flood it with
# pings; a silent target leads to the reboot sequence and the fake reboot.
source "$(dirname "$0")/lib.sh"
need_program zelpingwdog

# Inside the sandbox: start the watchdog with the given arguments, wait until
# its result file holds $want reply records (or it has exited), stop it, and
# leave its exit status (or "running") in /var/test_status. The flood option
# first starts pingers of the device's own addresses.
watch_script='
want=$1; flood=$2; shift 2
if [ "$flood" = flood ]; then
    lan=$(ifconfig br-lan | sed -n "s/.*inet addr:\([0-9.]*\).*/\1/p")
    for target in 127.0.0.1 $lan 10.99.0.1; do
        if /usr/bin/ping -V >/dev/null 2>&1; then
            /usr/bin/ping -f -q $target >/dev/null 2>&1 &
        else
            ( while :; do ping -c 1 -W 1 $target >/dev/null 2>&1; done ) &
        fi
        echo $! >> /var/flooders
    done
    sleep 1
fi
zelpingwdog "$@" &
pid=$!
status=running
i=0
while [ $i -lt 900 ]; do
    if ! kill -0 $pid 2>/dev/null; then wait $pid; status=$?; break; fi
    n=$(tr "\r" "\n" < /var/webspingwatchdog.msg 2>/dev/null | grep -c "^Reply from_pw")
    [ "$n" -ge "$want" ] && break
    sleep 0.1
    i=$((i + 1))
done
if [ "$status" = running ]; then kill $pid; wait $pid 2>/dev/null; fi
if [ -f /var/flooders ]; then
    # The flood really reached the raw sockets of the device.
    grep -q . /var/flooders && echo flooded > /var/flood_status
    for p in $(cat /var/flooders); do kill $p 2>/dev/null; done
fi
echo $status > /var/test_status
'

run_watchdog() { # want flood ARGS...
    sim -- sh -c "$watch_script" watch "$@"
    expect_status 0 "sandbox"
    result=$KEPT/var/webspingwatchdog.msg
    records=$KEPT/records
    tr '\r' '\n' < "$result" > "$records" 2>/dev/null
}

# --- an answering target, interval 0: 5 cycles without a reboot (many more
# in long_run_slow_test)
run_watchdog 5 plain --app=pingwdog -ipaddr=127.0.0.1 -interval=0 -delay=0 -failcount=2
expect_eq "$(cat "$KEPT/var/test_status")" running "watchdog still running after 5 cycles"
expect_eq "$(head -2 "$result")" "This is system tools of ping watchdog.
The target ip is 127.0.0.1 and the number of failure to reboot is 2" "banner"
expect_true "5 reply records" test "$(grep -c '^Reply from_pw 127.0.0.1: bytes=56 icmp_seq_pw=[0-9]* ttl=64 time=[0-9]*\.[0-9]\{3\} ms $' "$records")" -ge 5
expect_eq "$(grep -o 'icmp_seq_pw=[0-9]*' "$records" | head -3 | tr '\n' ' ')" "icmp_seq_pw=0 icmp_seq_pw=1 icmp_seq_pw=2 " "sequence from 0"
expect_file_lacks "$records" "Request timed out."
expect_file_lacks "$result" "It will be reboot"
expect_no_file "$KEPT/var/sim/reboot.log" "no reboot"
expect_no_file "$KEPT/etc/reboot_history" "no reboot history"
expect_lines "$KEPT/var/log/zelpingwdog" 1
expect_file_matches "$KEPT/var/log/zelpingwdog" "^$STAMP_RE Running ping watchdog\.\.\.IP=\[127\.0\.0\.1\]\[interval\]=\[0\]\[startup delay\]=\[0\]\[failure_count\]=\[2\]$"

# --- a silent target: two unanswered requests, then the reboot sequence
silent=10.99.0.2
run_watchdog 1 plain --app=pingwdog -ipaddr=$silent -interval=0 -delay=1 -failcount=2
expect_eq "$(cat "$KEPT/var/test_status")" 0 "watchdog returned after the reboot command"
expect_eq "$(cat "$result")" "This is system tools of ping watchdog.
The target ip is $silent and the number of failure to reboot is 2
"$'Request timed out.\rRequest timed out.\rIt will be reboot  after 3 seconds!!!' "result file"
expect_eq "$(cat "$KEPT/var/sim/reboot.log" 2>/dev/null)" "reboot" "the fake reboot was called once"
expect_lines "$KEPT/etc/reboot_history" 1
expect_file_matches "$KEPT/etc/reboot_history" "^$STAMP_RE Rebooted by ping watchdog\.\[IP\]=\[10\.99\.0\.2\]$"
expect_lines "$KEPT/var/log/zelpingwdog" 2
S=$STAMP_RE
expect_file_matches "$KEPT/var/log/zelpingwdog" "^$S Running ping watchdog\.\.\.IP=\[10\.99\.0\.2\]\[interval\]=\[0\]\[startup delay\]=\[1\]\[failure_count\]=\[2\]$"
expect_file_matches "$KEPT/var/log/zelpingwdog" "^$S fcount=\[2\]$S delay=\[1\]$S delay=\[0\]$S ip=\[10\.99\.0\.2\]$S Running\.\.\.zel_pingwdog$"

# --- clients flooding the device with pings: an answering target still
# gets every cycle answered and the device is never rebooted. A flood puts
# thousands of foreign packets into every cycle, so a fault shows in the
# first cycles.
run_watchdog 10 flood --app=pingwdog -ipaddr=10.99.0.3 -interval=0 -delay=0 -failcount=1
expect_eq "$(cat "$KEPT/var/flood_status" 2>/dev/null)" flooded "flood ran"
expect_eq "$(cat "$KEPT/var/test_status")" running "watchdog still running after 10 cycles of flood"
expect_true "10 reply records under flood" test "$(grep -c '^Reply from_pw 10.99.0.3: bytes=56 ' "$records")" -ge 10
expect_file_lacks "$records" "Request timed out."
expect_no_file "$KEPT/var/sim/reboot.log" "no reboot under flood"
expect_no_file "$KEPT/etc/reboot_history" "no reboot history under flood"

# --- start-up refusals: the start line, then the command line's line; also
# for a text that is neither IPv4 nor IPv6 and an interface that does not exist
for bad in 255.255.255.255 10.0.0.1abc 1::2::3 fe80::1%nosuch; do
    sim -- zelpingwdog --app=pingwdog -ipaddr=$bad -failcount=1
    expect_status 0 "exit status for $bad"
    expect_lines "$KEPT/var/log/zelpingwdog" 2
    expect_file_has "$KEPT/var/log/zelpingwdog" "] Running ping watchdog...IP=[$bad][interval]=[0][startup delay]=[0][failure_count]=[1]"
    expect_eq "$(cat "$KEPT/var/webspingwatchdog.msg" 2>/dev/null)" "" "result file emptied without banner for $bad"
    expect_no_file "$KEPT/var/sim/reboot.log" "no reboot for $bad"
done

# --- no arguments: one line, nothing else
sim -- zelpingwdog
expect_status 0
expect_lines "$KEPT/var/log/zelpingwdog" 1
expect_file_matches "$KEPT/var/log/zelpingwdog" "^$STAMP_RE Running\.\.\.zel_pingwdog$"
expect_no_file "$KEPT/var/webspingwatchdog.msg"

finish
