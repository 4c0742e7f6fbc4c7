#!/bin/sh
# Runs inside the simulated access point: memory and idleness of the two
# long-running programs over a 60-second window, beside a reference process
# that only sleeps one second at a time (the first argument). Prints
# key=value lines.
set -eu
sleeper=$1
window=${2:-60}
zelpingwdog --app=pingwdog -ipaddr=127.0.0.1 -interval=1 -delay=0 -failcount=1000 &
wdog=$!
target=$(awk -v now="$(date +%s)" 'BEGIN { t = now + 600; printf "%02d:%02d", int(t % 86400 / 3600), int(t % 3600 / 60) }')
TZ=UTC zelautoreboot --app=autoreboot "-mode=By Time" "-time=$target" &
sched=$!
"$sleeper" &
ref=$!
sleep 3

field() { awk -v k="$2:" '$1 == k { print $2 }' "$1"; }
cpu_ns() { cut -d' ' -f1 "/proc/$1/schedstat"; }
# Echo requests sent in this network namespace, one per watchdog cycle. The
# watchdog's message file can't count them: it is emptied as it grows.
echos_sent() {
    awk '$1 == "Icmp:" { if (!n) { for (i = 2; i <= NF; i++) if ($i == "OutEchos") c = i; n = 1 } else print $c }' /proc/net/snmp
}

for p in wdog sched; do
    eval pid=\$$p
    echo "$p.private_kb=$(( $(field /proc/$pid/smaps_rollup Private_Clean) + $(field /proc/$pid/smaps_rollup Private_Dirty) ))"
    echo "$p.rss_kb=$(field /proc/$pid/smaps_rollup Rss)"
done
w_cpu0=$(cpu_ns $wdog) s_cpu0=$(cpu_ns $sched) r_cpu0=$(cpu_ns $ref)
s_ctx0=$(field /proc/$sched/status voluntary_ctxt_switches)
w_echo0=$(echos_sent)
sleep "$window"
w_cpu1=$(cpu_ns $wdog) s_cpu1=$(cpu_ns $sched) r_cpu1=$(cpu_ns $ref)
s_ctx1=$(field /proc/$sched/status voluntary_ctxt_switches)
w_echo1=$(echos_sent)
kill $wdog $sched $ref 2>/dev/null || true
echo "window_s=$window"
echo "wdog.cycles=$((w_echo1 - w_echo0))"
echo "wdog.cpu_us=$(( (w_cpu1 - w_cpu0) / 1000 ))"
echo "sched.wakeups=$((s_ctx1 - s_ctx0))"
echo "sched.cpu_us=$(( (s_cpu1 - s_cpu0) / 1000 ))"
echo "ref.cpu_us=$(( (r_cpu1 - r_cpu0) / 1000 ))"
