#!/bin/bash
# zelpingwdog on a lossy uplink, over real ICMP in the simulated access point:
# a host that drops half of the requests (seeded) keeps -tries=4
# -failcount=4 watching for 40 cycles without a reboot. Each cycle is
# unanswered with a chance of 1 in 16, so four in a row come about once in
# 65,536 cycles; with one try they would come about once in 30.
source "$(dirname "$0")/lib.sh"
need_program zelpingwdog
command -v cc >/dev/null || skip "no C compiler for the uplink host"

cat > "$work_dir/lossy.sh" <<'INSIDE'
uplink-host 10.99.0.5 --loss 50 --seed 7 >/dev/null || exit 3
zelpingwdog --app=pingwdog -ipaddr=10.99.0.5 -interval=0 -delay=0 -failcount=4 -tries=4 &
pid=$!
i=0
while [ $i -lt 1200 ] && kill -0 $pid 2>/dev/null; do
    n=$(tr "\r" "\n" < /var/webspingwatchdog.msg 2>/dev/null | grep -c "^Reply from_pw\|^Request timed out")
    [ "$n" -ge 40 ] && break
    sleep 0.1
    i=$((i + 1))
done
kill $pid 2>/dev/null && echo running > /var/status
cp /var/sim/uplink-host-10.99.0.5.log /var/
INSIDE
sim -- sh "$work_dir/lossy.sh"
expect_status 0 "sandbox"
V=$KEPT/var
records() { tr '\r' '\n' < "$V/webspingwatchdog.msg" | tail -n +3; }

expect_eq "$(cat "$V/status")" running "still watching"
expect_no_file "$V/sim/reboot.log"
expect_true "40 cycles or more" test "$(records | wc -l)" -ge 40
expect_file_lacks "$V/webspingwatchdog.msg" "It will be reboot"
# The link did lose half: many requests were dropped, and the cycles sent
# more requests than one each.
expect_true "requests dropped" test "$(grep -c ' drop$' "$V/uplink-host-10.99.0.5.log")" -ge 20
expect_true "later tries sent" test "$(wc -l < "$V/uplink-host-10.99.0.5.log")" -gt "$(records | wc -l)"

finish
