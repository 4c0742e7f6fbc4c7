#!/bin/bash
# zelpingwdog's reboot limit in the simulated access point: with
# -maxreboots=2, two outages in a row reboot the device and the third does
# not; an answered request in between starts the count over. The count
# lives in /etc/pingwdog_reboots, which the sandbox keeps across the runs of
# one session as a device keeps its flash across reboots.
source "$(dirname "$0")/lib.sh"
need_program zelpingwdog

cat > "$work_dir/inside.sh" <<'INSIDE'
silent=$SIM_SILENT_ADDR
count=/etc/pingwdog_reboots
result=/var/webspingwatchdog.msg
keep_count() { cat $count > /var/count_$1 2>/dev/null || echo absent > /var/count_$1; }
# Runs the watchdog in the background until its result file holds $1 lines
# matching $2 (carriage returns read as line ends), then stops it.
watch_until() {
    want=$1 pattern=$2
    shift 2
    zelpingwdog "$@" &
    pid=$!
    i=0
    while [ $i -lt 300 ] && kill -0 $pid 2>/dev/null; do
        n=$(tr "\r" "\n" < $result 2>/dev/null | grep -c "$pattern")
        [ "$n" -ge "$want" ] && break
        sleep 0.1
        i=$((i + 1))
    done
    kill $pid 2>/dev/null
    wait $pid 2>/dev/null
}
outage() { zelpingwdog --app=pingwdog -ipaddr=$silent -interval=0 -delay=0 -failcount=2 -maxreboots=2; }

outage; keep_count 1
outage; keep_count 2
# The third outage in a row: no reboot, and the watchdog goes on pinging.
watch_until 4 "^Request timed out\.$" --app=pingwdog -ipaddr=$silent -interval=0 -delay=0 -failcount=2 -maxreboots=2
keep_count 3
cp $result /var/result_3
# The target answers: the count is over.
watch_until 1 "^Reply from_pw" --app=pingwdog -ipaddr=127.0.0.1 -interval=0 -delay=0 -failcount=2 -maxreboots=2
keep_count 4
outage; keep_count 5
INSIDE
sim -- sh "$work_dir/inside.sh"
expect_status 0 "sandbox"
for step in "1 1" "2 2" "3 2" "4 absent" "5 1"; do
    set -- $step
    expect_eq "$(cat "$KEPT/var/count_$1")" "$2" "reboot count after step $1"
done
expect_eq "$(cat "$KEPT/var/result_3")" "This is system tools of ping watchdog.
The target ip is 10.99.0.2 and the number of failure to reboot is 2
"$'Request timed out.\rRequest timed out.\rReboot limit of 2 reached: not rebooted\rRequest timed out.\rRequest timed out.\r' \
    "result file of the third outage"
expect_eq "$(cat "$KEPT/var/sim/reboot.log" 2>/dev/null)" "reboot
reboot
reboot" "reboots: the first two outages and the one after the answer"
expect_lines "$KEPT/etc/reboot_history" 3
S=$STAMP_RE
log=$KEPT/var/log/zelpingwdog
expect_eq "$(grep -c " Reboot limit of 2 reached: not rebooted$" "$log")" 1 "notices in the run log"
expect_file_matches "$log" "^$S Reboot limit of 2 reached: not rebooted$"
expect_file_matches "$log" "^$S maxreboots=\[2\]$S fcount=\[2\]$S delay=\[0\]$S delay=\[0\]$S ip=\[10\.99\.0\.2\]$S Running\.\.\.zel_pingwdog$"
expect_eq "$(grep -cE "^$S Running ping watchdog\.\.\.IP=\[10\.99\.0\.2\]\[interval\]=\[0\]\[startup delay\]=\[0\]\[failure_count\]=\[2\]$" "$log")" 4 "start lines of the outages"

finish
