#!/bin/bash
# Long run of the ping watchdog in the simulated access point: interval 0
# against an answering host for ZEL_LONG_RUN_CYCLES cycles (default 100;
# the full run is 1000). Every answered cycle costs about two seconds by
# design (the pause after a reply, then the rest of the wait budget), so
# the default takes some 3.5 minutes and the full run over half an hour:
#
#   ZEL_LONG_RUN_CYCLES=1000 bash tests/device/long_run_slow_test.sh
#
# No reboot, no unanswered request, the result file never beyond 20480
# bytes plus one record, and the resident size and the open descriptors
# the same at the last cycle as at the tenth of the run (cycle 100 of
# 1000). A leak shows in the resident size once it fills a page: some 45
# bytes a cycle over the default run (the sanitizer unit tests find any
# lost block, but neither memory that stays reachable nor the real system
# calls, which they replace).
source "$(dirname "$0")/lib.sh"
need_program zelpingwdog

cycles=${ZEL_LONG_RUN_CYCLES:-100}
first=$((cycles / 10))
[ "$first" -ge 1 ] || first=1

cat > "$work_dir/inside.sh" <<'EOF'
[ -n "${SIM_SILENT_ADDR:-}" ] && [ -d /var/sim ] || exit 3
cycles=$1 first=$2
result=/var/webspingwatchdog.msg
zelpingwdog --app=pingwdog -ipaddr=127.0.0.1 -interval=0 -delay=0 -failcount=3 &
pid=$!
largest=0 rss_first= rss_last= fds_first= fds_last= cycle=0
rss() { awk '/^VmRSS:/ { print $2 }' /proc/$pid/status; }
fds() { ls /proc/$pid/fd | wc -l; }
while :; do
    if ! kill -0 $pid 2>/dev/null; then
        echo "the watchdog ended at cycle $cycle" > /var/problem
        break
    fi
    size=$(stat -c %s $result 2>/dev/null || echo 0)
    [ "$size" -gt "$largest" ] && largest=$size
    # Records end in a carriage return; the sequence number of the newest
    # is the number of cycles so far, less one.
    seq=$(tr '\r' '\n' < $result 2>/dev/null | sed -n 's/^Reply from_pw .* icmp_seq_pw=\([0-9]*\) .*/\1/p' | tail -n 1)
    [ -n "$seq" ] && cycle=$((seq + 1))
    if [ -z "$rss_first" ] && [ "$cycle" -ge "$first" ]; then
        rss_first=$(rss) fds_first=$(fds)
        echo "cycle $cycle: $rss_first kB, $fds_first descriptors"
    fi
    if [ "$cycle" -ge "$cycles" ]; then
        rss_last=$(rss) fds_last=$(fds)
        echo "cycle $cycle: $rss_last kB, $fds_last descriptors"
        break
    fi
    sleep 0.4
done
echo "$largest" > /var/largest
echo "$rss_first $rss_last" > /var/rss
echo "$fds_first $fds_last" > /var/fds
echo "$cycle" > /var/cycles
# Timeouts in what the file holds now (it is emptied as it grows).
tr '\r' '\n' < $result | grep -c '^Request timed out\.$' > /var/timeouts
kill $pid 2>/dev/null
wait
exit 0
EOF

sim -- sh "$work_dir/inside.sh" "$cycles" "$first"
expect_status 0 "the long run"
cat "$SIM_OUT"
expect_no_file "$KEPT/var/problem" "$(cat "$KEPT/var/problem" 2>/dev/null)"
expect_true "ran $cycles cycles" [ "$(cat "$KEPT/var/cycles")" -ge "$cycles" ]
expect_no_file "$KEPT/var/sim/reboot.log" "no reboot"
expect_eq "$(cat "$KEPT/var/timeouts")" 0 "unanswered requests"
record='Reply from_pw 127.0.0.1: bytes=56 icmp_seq_pw=65535 ttl=255 time=99999.999 ms \r'
largest=$(cat "$KEPT/var/largest")
expect_true "result file of $largest bytes within 20480 and one record" [ "$largest" -le $((20480 + ${#record})) ]
if [ "$cycles" -ge 400 ]; then
    expect_true "result file was emptied at least once (largest $largest)" [ "$largest" -gt 20000 ]
fi
read -r rss_first rss_last < "$KEPT/var/rss"
flat() { [ -n "$1" ] && [ -n "$2" ] && [ "$2" -le "$1" ]; }
expect_true "resident size flat: ${rss_first:-?} kB at cycle $first, ${rss_last:-?} kB at cycle $cycles" \
    flat "$rss_first" "$rss_last"
read -r fds_first fds_last < "$KEPT/var/fds"
expect_true "open descriptors flat: ${fds_first:-?} at cycle $first, ${fds_last:-?} at cycle $cycles" \
    flat "$fds_first" "$fds_last"
expect_eq "$(grep -cvE "^$STAMP_RE " "$KEPT/var/log/zelpingwdog")" 0 "run-log lines without a time stamp"

finish
