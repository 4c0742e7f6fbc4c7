#!/bin/sh
# Runs inside the simulated access point: memory and idleness of the two
# long-running programs over a 60-second window, beside the two processes
# of the idle reference (its path is the first argument): one that only
# sleeps and one that makes the system calls of a watchdog cycle and nothing
# else. Prints key=value lines.
set -eu
reference=$1
window=${2:-60}
zelpingwdog --app=pingwdog -ipaddr=127.0.0.1 -interval=1 -delay=0 -failcount=1000 &
wdog=$!
target=$(awk -v now="$(date +%s)" 'BEGIN { t = now + 600; printf "%02d:%02d", int(t % 86400 / 3600), int(t % 3600 / 60) }')
TZ=UTC zelautoreboot --app=autoreboot "-mode=By Time" "-time=$target" &
sched=$!
"$reference" sleep &
sleeper=$!
"$reference" cycle &
skeleton=$!
sleep 3

field() { awk -v k="$2:" '$1 == k { print $2 }' "$1"; }
cpu_ns() { cut -d' ' -f1 "/proc/$1/schedstat"; }
# The sequence number of the latest reply each one logged: the difference
# over the window is the number of cycles. (The watchdog's file is emptied
# as it grows, but always ends with its latest record.)
wdog_seq() { tr '\r' '\n' < /var/webspingwatchdog.msg | sed -n 's/.*icmp_seq_pw=\([0-9]*\) .*/\1/p' | tail -1; }
skeleton_seq() { tr '\r' '\n' < /tmp/idle_reference.msg | sed -n 's/^reply //p' | tail -1; }

for p in wdog sched; do
    eval pid=\$$p
    echo "$p.private_kb=$(( $(field /proc/$pid/smaps_rollup Private_Clean) + $(field /proc/$pid/smaps_rollup Private_Dirty) ))"
    echo "$p.rss_kb=$(field /proc/$pid/smaps_rollup Rss)"
done
w_cpu0=$(cpu_ns $wdog) s_cpu0=$(cpu_ns $sched) r_cpu0=$(cpu_ns $sleeper) k_cpu0=$(cpu_ns $skeleton)
s_ctx0=$(field /proc/$sched/status voluntary_ctxt_switches)
w_seq0=$(wdog_seq) k_seq0=$(skeleton_seq)
sleep "$window"
w_cpu1=$(cpu_ns $wdog) s_cpu1=$(cpu_ns $sched) r_cpu1=$(cpu_ns $sleeper) k_cpu1=$(cpu_ns $skeleton)
s_ctx1=$(field /proc/$sched/status voluntary_ctxt_switches)
w_seq1=$(wdog_seq) k_seq1=$(skeleton_seq)
kill $wdog $sched $sleeper $skeleton 2>/dev/null || true
echo "window_s=$window"
echo "wdog.cycles=$((w_seq1 - w_seq0))"
echo "wdog.cpu_us=$(( (w_cpu1 - w_cpu0) / 1000 ))"
echo "sched.wakeups=$((s_ctx1 - s_ctx0))"
echo "sched.cpu_us=$(( (s_cpu1 - s_cpu0) / 1000 ))"
echo "sleeper.cpu_us=$(( (r_cpu1 - r_cpu0) / 1000 ))"
echo "skeleton.cycles=$((k_seq1 - k_seq0))"
echo "skeleton.cpu_us=$(( (k_cpu1 - k_cpu0) / 1000 ))"
