#!/bin/bash
# A "By Time" target arrives: zelautoreboot started at 09:30:00 for 09:30
# targets second 59, sleeps to one second before it, and in that second
# writes "Actually rebooted" and runs the (fake) reboot on every check.
# Takes about a minute.
set -uo pipefail

if [ "${1:-}" = inside ]; then
    source "$(dirname "$0")/lib.sh"
    set_time_of_day $((9 * 3600 + 30 * 60))
    zelautoreboot --app=autoreboot "-mode=By Time" -time=09:30 &
    pid=$!
    # The target is 59 seconds away; give it 75.
    for _ in $(seq 750); do
        grep -q 'Actually rebooted' /etc/reboot_history 2>/dev/null && break
        sleep 0.1
    done
    # Let the rest of the target second pass: every check in it reboots.
    sleep 1.5
    if kill -0 "$pid" 2>/dev/null; then echo running > /var/test_status; else echo ended > /var/test_status; fi
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    exit 0
fi

here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
need_program zelautoreboot uci

sim -- bash "$here/autoreboot_slow_test.sh" inside
expect_status 0 "sandbox"

stamp='\[[0-9]{2}-[0-9]{2}-[0-9]{4} '
micro='\.[0-9]{6}\]'
matches() { [[ $1 =~ ^$2$ ]]; }

expect_eq "$(cat "$KEPT/var/test_status" 2>/dev/null)" running "the program counts on after the reboot command"

mapfile -t log < "$KEPT/var/log/zelautoreboot"
expect_true "run log line 1 [${log[0]:-}]" \
    matches "${log[0]:-}" "${stamp}09:30:00${micro} Running\.\.\.zelautoreboot at 09:30:59\(HH:MM:SS\)"
expect_true "run log line 2 [${log[1]:-}]" \
    matches "${log[1]:-}" "${stamp}09:30:00${micro} Time left 00:00:59 \(HH:MM:SS\)"

mapfile -t scheduled < <(grep 'Scheduled reboot' "$KEPT/etc/reboot_history")
expect_eq "${#scheduled[@]}" 1 "Scheduled reboot lines"
expect_true "history line [${scheduled[0]:-}]" \
    matches "${scheduled[0]:-}" "${stamp}09:30:00${micro} Scheduled reboot at 09:30:59\(HH:MM:SS\)"

# Checks come every 300 ms, so two to four of them fall into the target second.
mapfile -t rebooted < <(grep 'Actually rebooted' "$KEPT/etc/reboot_history")
expect_true "${#rebooted[@]} 'Actually rebooted' lines" [ "${#rebooted[@]}" -ge 1 -a "${#rebooted[@]}" -le 4 ]
for line in "${rebooted[@]}"; do
    expect_true "history line [$line]" matches "$line" "${stamp}09:30:59${micro} Actually rebooted"
done

reboots=0
[ -f "$KEPT/var/sim/reboot.log" ] && reboots=$(grep -cx reboot "$KEPT/var/sim/reboot.log")
expect_eq "$reboots" "${#rebooted[@]}" "reboot commands, one per history line"

finish
