#!/bin/bash
# zelpingwdog on slow and lossy uplinks, over real ICMP in the simulated
# access point, against uplink hosts (sim/tools/uplink-host): hosts that
# answer after 1.5 s with and without -timeout=3, one and two targets; a host
# that answers every third request with -tries=3 and without; a silent host
# with -tries=3; refused values.
source "$(dirname "$0")/lib.sh"
need_program zelpingwdog
command -v cc >/dev/null || skip "no C compiler for the uplink host"

cat > "$work_dir/links.sh" <<'INSIDE'
. "$ZEL_SOURCE_DIR/tests/device/pingwdog_watch.sh"
records="^Reply from_pw\\|^Request timed out"
host() { uplink-host "$@" >/dev/null || exit 3; }
args="--app=pingwdog -interval=0 -delay=0 -failcount=2"
host 10.99.0.5 --delay 1500
host 10.99.0.6 --delay 1500
watch slow_two_timeout 6 "$records" $args -ipaddr=10.99.0.5,10.99.0.6 -timeout=3
watch slow_two 9 "$records" $args -ipaddr=10.99.0.5,10.99.0.6
watch slow_one_timeout 3 "$records" $args -ipaddr=10.99.0.5 -timeout=3
watch slow_one 6 "$records" $args -ipaddr=10.99.0.5
host 10.99.0.7 --every 3
watch third_tries3 4 "$records" $args -ipaddr=10.99.0.7 -tries=3
host 10.99.0.8 --every 3
watch third_tries1 9 "$records" $args -ipaddr=10.99.0.8
host 10.99.0.9 --loss 100 --seed 1
watch silent_tries3 9 "$records" $args -ipaddr=10.99.0.9 -tries=3
for value in -tries=11 -tries=0 -timeout=31 -timeout=1.5 -timeout=-2; do
    watch "refused$value" 9 "$records" $args -ipaddr=10.99.0.9 "$value"
done
cp /var/sim/uplink-host-*.log /var/
INSIDE
sim -- sh "$work_dir/links.sh"
expect_status 0 "sandbox"
V=$KEPT/var
S=$STAMP_RE
records() { tr '\r' '\n' < "$V/$1.result" | tail -n +3; }
reboots() { cat "$V/$1.reboots"; }
# The reply times in whole milliseconds.
reply_times() { records "$1" | sed -n 's/^Reply from_pw .* time=\([0-9]*\)\.[0-9]* ms $/\1/p'; }
all_near() { # name low high: every reply time within [low, high] ms, and at least one
    local t n=0
    for t in $(reply_times "$1"); do
        [ "$t" -ge "$2" ] && [ "$t" -le "$3" ] || return 1
        n=$((n + 1))
    done
    [ "$n" -gt 0 ]
}

# --- two hosts answering after 1.5 s: watched with -timeout=3, a reboot
# after the failure count without it
expect_eq "$(cat "$V/slow_two_timeout.status")" running "slow, two, timeout 3: still watching"
expect_eq "$(reboots slow_two_timeout)" 0 "slow, two, timeout 3: no reboot"
expect_eq "$(records slow_two_timeout | grep -c '^Reply from_pw 10\.99\.0\.[56]: bytes=56 ')" 6 \
    "slow, two, timeout 3: six replies"
expect_true "slow, two, timeout 3: replies near 1.5 s" all_near slow_two_timeout 1490 1900
expect_eq "$(cat "$V/slow_two.status")" 0 "slow, two: the watchdog ended"
expect_eq "$(reboots slow_two)" 1 "slow, two: one reboot"
expect_eq "$(records slow_two)" "Request timed out.
Request timed out.
It will be reboot  after 3 seconds!!!" "slow, two: two unanswered cycles"

# --- one such host: the same with -timeout=3; without it the late replies
# count in the next cycle, between timed-out records
expect_eq "$(reboots slow_one_timeout)" 1 "slow, one, timeout 3: no reboot"
expect_eq "$(records slow_one_timeout | grep -c '^Reply from_pw 10\.99\.0\.5: bytes=56 icmp_seq_pw=[012] ')" 3 \
    "slow, one, timeout 3: the replies to requests 0, 1, 2"
expect_true "slow, one, timeout 3: replies near 1.5 s" all_near slow_one_timeout 1490 1900
expect_file_lacks "$V/slow_one_timeout.result" "Request timed out."
expect_eq "$(reboots slow_one)" 1 "slow, one: no reboot"
expect_true "slow, one: timed-out records" grep -q "Request timed out" "$V/slow_one.result"
expect_true "slow, one: late replies near 1.5 s" all_near slow_one 1490 1900

# --- a host answering every third request: three tries keep every cycle
# answered; one try a cycle reboots after the failure count
expect_eq "$(reboots third_tries3)" 1 "every third, tries 3: no reboot"
expect_eq "$(records third_tries3 | sed 's/ ttl=.*//')" "Reply from_pw 10.99.0.7: bytes=56 icmp_seq_pw=2
Reply from_pw 10.99.0.7: bytes=56 icmp_seq_pw=5
Reply from_pw 10.99.0.7: bytes=56 icmp_seq_pw=8
Reply from_pw 10.99.0.7: bytes=56 icmp_seq_pw=11" "every third, tries 3: the third try of each cycle answered"
expect_eq "$(grep -c ' reply$' "$V/uplink-host-10.99.0.7.log")" 4 "every third, tries 3: four answers"
expect_eq "$(cat "$V/third_tries1.status")" 0 "every third, tries 1: the watchdog ended"
expect_eq "$(reboots third_tries1)" 2 "every third, tries 1: a reboot"
expect_eq "$(records third_tries1)" "Request timed out.
Request timed out.
It will be reboot  after 3 seconds!!!" "every third, tries 1: two unanswered cycles"

# --- a silent host with three tries: three requests and one timed-out
# record per cycle, the cycle within its one-second budget
expect_eq "$(reboots silent_tries3)" 3 "silent, tries 3: a reboot"
expect_eq "$(records silent_tries3)" "Request timed out.
Request timed out.
It will be reboot  after 3 seconds!!!" "silent, tries 3: one record per cycle"
expect_eq "$(sed 's/ id=[0-9]*//' "$V/uplink-host-10.99.0.9.log")" "request 1 seq=0 drop
request 2 seq=1 drop
request 3 seq=2 drop
request 4 seq=3 drop
request 5 seq=4 drop
request 6 seq=5 drop" "silent, tries 3: three requests a cycle, each its own sequence number"
# Two cycles of one second, then the second before the reboot: the start
# line and the history line are about 2 s apart, not the 6 s that three
# tries of a whole budget each would take.
seconds_of() { sed -n "s/^\[[0-9-]* \([0-9]*\):\([0-9]*\):\([0-9.]*\)\] $2.*/\1 \2 \3/p" "$1" | head -1 |
    awk '{ printf "%d\n", ($1 * 3600 + $2 * 60 + $3) * 1000 }'; }
started=$(seconds_of "$V/silent_tries3.log" "Running ping watchdog")
ended=$(seconds_of "$KEPT/etc/reboot_history" "Rebooted by ping watchdog.\[IP\]=\[10.99.0.9\]")
expect_true "silent, tries 3: two one-second cycles (${started:-?} to ${ended:-?} ms)" \
    test $(((ended - started + 86400000) % 86400000)) -lt 3000

# --- refused values: nothing sent, an empty result file, no reboot
for value in -tries=11 -tries=0 -timeout=31 -timeout=1.5 -timeout=-2; do
    expect_eq "$(cat "$V/refused$value.status")" 0 "$value: exit status"
    expect_eq "$(cat "$V/refused$value.result")" "" "$value: empty result file"
    expect_eq "$(reboots "refused$value")" 3 "$value: no reboot"
    expect_file_matches "$V/refused$value.log" "^$S Running ping watchdog\.\.\.IP=\[10\.99\.0\.9\]"
done
expect_file_matches "$V/refused-timeout=1.5.log" "^$S timeout=\[1\]$S ip=\[10\.99\.0\.9\]$S fcount=\[2\]"
expect_lines "$V/uplink-host-10.99.0.9.log" 6

finish
