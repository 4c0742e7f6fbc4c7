#!/bin/bash
# Concurrency in the simulated access point: while a ping watchdog runs,
# each round starts the zelvlan commands that write configs and several uci
# writers that set and commit options of the same configs, all at once.
# After every round each config still parses and every option committed so
# far is still there; at the end every run-log line is whole and no line of
# a run is missing. ZEL_CONCURRENCY_ROUNDS sets the rounds (default 50).
source "$(dirname "$0")/lib.sh"
need_program zelvlan zelpingwdog uci

rounds=${ZEL_CONCURRENCY_ROUNDS:-50}

cat > "$work_dir/inside.sh" <<'EOF'
[ -n "${SIM_SILENT_ADDR:-}" ] && [ -d /var/sim ] || exit 3
rounds=$1
problems=/var/problems
: > $problems
: > /var/expected
# An answering host and a failure count it never reaches: no reboot.
zelpingwdog --app=pingwdog -ipaddr=127.0.0.1 -interval=0 -delay=0 -failcount=3 &
watchdog=$!

# writer CONFIG PREFIX ROUND: two options of a section of its own, each
# committed on its own.
writer() {
    uci set "$1.$2$3=marker" && uci set "$1.$2$3.first=$3" && uci commit "$1"
    uci set "$1.$2$3.second=v$3" && uci commit "$1"
}

round=1
while [ $round -le "$rounds" ]; do
    pids=
    zelvlan --app=vlan-mgt & pids="$pids $!"
    zelvlan --app=refresh-lan-ip & pids="$pids $!"
    zelvlan --app=vlan-set-uhttpd x -webport=8080 & pids="$pids $!"
    zelvlan --app=vlan-priority & pids="$pids $!"
    zelvlan --app=get-wifi-ssid & pids="$pids $!"
    writer network wa $round & pids="$pids $!"
    writer network wb $round & pids="$pids $!"
    writer vlan wc $round & pids="$pids $!"
    writer uhttpd wd $round & pids="$pids $!"
    # The round's jobs only: the watchdog runs on.
    wait $pids
    # Every option committed so far, as uci shows it: one show per config
    # and round instead of a get per option.
    for w in network.wa network.wb vlan.wc uhttpd.wd; do
        echo "$w$round.first=$round"
        echo "$w$round.second=v$round"
    done >> /var/expected
    : > /var/shown
    for config in network vlan uhttpd wireless vlansw vlanac dropbear; do
        uci show $config > /var/show 2>/dev/null || echo "round $round: $config does not parse" >> $problems
        # Either store form: these values need no quotes.
        sed "s/='\(.*\)'\$/=\1/" /var/show >> /var/shown
    done
    grep -Fxv -f /var/shown /var/expected | sed "s/^/round $round: lost /" >> $problems
    round=$((round + 1))
done
kill -0 $watchdog 2>/dev/null || echo "the watchdog stopped" >> $problems
kill $watchdog
wait
ls -A /etc/config > /var/config_files
exit 0
EOF

sim -- sh "$work_dir/inside.sh" "$rounds"
expect_status 0 "the rounds ran"
expect_eq "$(head -20 "$KEPT/var/problems")" "" "problems"
expect_no_file "$KEPT/var/sim/reboot.log" "no reboot"

# Every line whole, and one "Running..." line per zelvlan run.
log=$KEPT/var/log/zelvlan
expect_eq "$(grep -cvE "^$STAMP_RE " "$log")" 0 "lines of /var/log/zelvlan without a time stamp"
expect_eq "$(grep -cE "^$STAMP_RE Running\.\.\.main_" "$log")" $((rounds * 5)) "command lines in /var/log/zelvlan"
for command in vlan_mgt refresh_lan_ip vlan_uhttpd vlan_priority get_wifi_ssid; do
    expect_eq "$(grep -cE "^$STAMP_RE Running\.\.\.main_$command\$" "$log")" "$rounds" "lines of $command"
done
expect_eq "$(grep -cvE "^$STAMP_RE " "$KEPT/var/log/zelpingwdog")" 0 "lines of /var/log/zelpingwdog without a time stamp"
expect_file_matches "$KEPT/var/log/zelpingwdog" "^$STAMP_RE Running ping watchdog\.\.\.IP=\[127\.0\.0\.1\]"
# No temporary file of a commit is left beside the configs.
expect_eq "$(grep -c '^\.' "$KEPT/var/config_files")" 0 "temporary files in /etc/config"
# The watchdog kept its result file within bounds while it ran.
result=$KEPT/var/webspingwatchdog.msg
expect_file "$result"
expect_true "result file within 20480 bytes and one record" [ "$(stat -c %s "$result")" -le 20580 ]

finish
