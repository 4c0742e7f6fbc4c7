#!/bin/bash
# A "By Time" target arrives: zelautoreboot started at 09:30:00 for 09:30
# targets second 59, sleeps to one second before it, and in that second
# writes "Actually rebooted" and runs the (fake) reboot on every check.
# Takes about a minute.
set -uo pipefail

if [ "${1:-}" = inside ]; then
    want=$((9 * 3600 + 30 * 60))
    while :; do
        t=$EPOCHREALTIME; ms=${t#*.}; ms=$((10#${ms:0:3}))
        [ "$ms" -ge 20 ] && [ "$ms" -lt 300 ] && break
        sleep 0.01 2>/dev/null || :
    done
    off=$(( (${t%.*} % 86400 - want + 86400) % 86400 ))
    [ "$off" -ge 43200 ] && off=$((off - 86400))
    sign=+; [ "$off" -lt 0 ] && { sign=-; off=$((-off)); }
    export TZ=$(printf 'ZEL%s%d:%02d:%02d' "$sign" $((off / 3600)) $((off % 3600 / 60)) $((off % 60)))
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
source_dir=${ZEL_SOURCE_DIR:-$(cd "$here/../.." && pwd)}
sim_run=$source_dir/sim/run
[ -x "$sim_run" ] || { echo "no simulated access point at $sim_run"; exit 1; }
[ -n "${ZEL_STAGE:-}" ] || { echo "ZEL_STAGE is not set"; exit 1; }

keep=$(mktemp -d)
trap 'rm -rf "$keep"' EXIT
"$sim_run" --keep "$keep" -- bash "$here/autoreboot_slow_test.sh" inside || { echo "FAIL: sandbox failed"; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
stamp='\[[0-9]{2}-[0-9]{2}-[0-9]{4} '
micro='\.[0-9]{6}\]'

[ "$(cat "$keep/var/test_status" 2>/dev/null)" = running ] || fail "the program did not go on counting after the reboot command"

mapfile -t log < "$keep/var/log/zelautoreboot"
[[ ${log[0]:-} =~ ^${stamp}09:30:00${micro}\ Running\.\.\.zelautoreboot\ at\ 09:30:59\(HH:MM:SS\)$ ]] ||
    fail "run log line 1: '${log[0]:-}'"
[[ ${log[1]:-} =~ ^${stamp}09:30:00${micro}\ Time\ left\ 00:00:59\ \(HH:MM:SS\)$ ]] ||
    fail "run log line 2: '${log[1]:-}'"

mapfile -t scheduled < <(grep 'Scheduled reboot' "$keep/etc/reboot_history")
[ "${#scheduled[@]}" -eq 1 ] && [[ ${scheduled[0]} =~ ^${stamp}09:30:00${micro}\ Scheduled\ reboot\ at\ 09:30:59\(HH:MM:SS\)$ ]] ||
    fail "history: '${scheduled[*]}'"

mapfile -t rebooted < <(grep 'Actually rebooted' "$keep/etc/reboot_history")
[ "${#rebooted[@]}" -ge 1 ] && [ "${#rebooted[@]}" -le 4 ] || fail "${#rebooted[@]} 'Actually rebooted' lines"
for line in "${rebooted[@]}"; do
    [[ $line =~ ^${stamp}09:30:59${micro}\ Actually\ rebooted$ ]] || fail "history line '$line'"
done

reboots=0
[ -f "$keep/var/sim/reboot.log" ] && reboots=$(grep -c . "$keep/var/sim/reboot.log")
[ "$reboots" -eq "${#rebooted[@]}" ] || fail "$reboots reboot commands for ${#rebooted[@]} history lines"

if [ "$failures" -ne 0 ]; then
    echo "$failures failures"; sed 's/^/    /' "$keep/var/log/zelautoreboot" "$keep/etc/reboot_history"; exit 1
fi
echo "autoreboot slow: the target arrived, ${#rebooted[@]} reboot commands"
