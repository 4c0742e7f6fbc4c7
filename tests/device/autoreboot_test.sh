#!/bin/bash
# zelautoreboot started at chosen wall-clock times in the simulated access
# point: its run log, its reboot history line and its first countdown line.
# No case here reaches the reboot; the program is stopped after its first
# check.
set -uo pipefail

# Inside the sandbox: start the program at local time HH MM SS (a TZ offset
# with seconds makes that the time of day), stop it when it still runs after
# two seconds, and leave its exit status in /var/test_status.
if [ "${1:-}" = inside ]; then
    source "$(dirname "$0")/lib.sh"
    set_time_of_day $((10#$2 * 3600 + 10#$3 * 60 + 10#$4)); shift 4
    echo '[old] line' > /var/log/zelautoreboot
    zelautoreboot "$@" &
    pid=$!
    status=running
    for _ in $(seq 20); do
        if ! kill -0 "$pid" 2>/dev/null; then wait "$pid"; status=$?; break; fi
        sleep 0.1
    done
    [ "$status" = running ] && { kill "$pid"; wait "$pid" 2>/dev/null; }
    echo "$status" > /var/test_status
    exit 0
fi

here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
need_program zelautoreboot uci

stamp='\[[0-9]{2}-[0-9]{2}-[0-9]{4} '
micro='\.[0-9]{6}\]'

# expect_exact_lines FILE REGEX... : the file holds exactly these lines.
expect_exact_lines() {
    local file=$1; shift
    local lines=()
    [ -f "$file" ] && mapfile -t lines < "$file"
    if [ "${#lines[@]}" -ne "$#" ]; then
        fail "[$case_name] $file has ${#lines[@]} lines, expected $#"
        sed 's/^/  has: /' "$file" >&2 2>/dev/null
        return
    fi
    local i=0 pattern
    for pattern in "$@"; do
        if [[ ${lines[$i]} =~ ^$pattern$ ]]; then pass; else
            fail "[$case_name] $file line $((i + 1)) is [${lines[$i]}], expected /$pattern/"
        fi
        i=$((i + 1))
    done
}

# run_case NAME HH MM SS ARGS...: one sandbox; its /var and /etc land in $KEPT.
run_case() {
    case_name=$1; shift
    sim -- bash "$here/autoreboot_test.sh" inside "$@"
    expect_status 0 "[$case_name] sandbox"
}

status_is() {
    expect_eq "$(cat "$KEPT/var/test_status" 2>/dev/null)" "$1" "[$case_name] program status"
}

no_reboot() {
    expect_no_file "$KEPT/var/sim/reboot.log" "[$case_name] no reboot command"
}

# expect_history REGEX...: the scheduled reboot's lines in the history.
expect_history() {
    grep -E 'Scheduled reboot|Actually rebooted' "$KEPT/etc/reboot_history" > "$KEPT/history_lines" 2>/dev/null
    expect_exact_lines "$KEPT/history_lines" "$@"
}

run_case hours_2 14 20 35 --app=autoreboot "-mode=By Number of Hours" -numofhours=2
status_is running
expect_exact_lines "$KEPT/var/log/zelautoreboot" \
    "${stamp}14:20:35${micro} Running\.\.\.zelautoreboot at 16:20:34\(HH:MM:SS\)" \
    "${stamp}14:20:35${micro} Time left 01:59:59 \(HH:MM:SS\)"
expect_history "${stamp}14:20:35${micro} Scheduled reboot at 16:20:34\(HH:MM:SS\)"
no_reboot

run_case hours_3_from_second_0 22 10 00 --app=autoreboot -numofhours=3 "-mode=By Number of Hours"
status_is running
expect_exact_lines "$KEPT/var/log/zelautoreboot" \
    "${stamp}22:10:00${micro} Running\.\.\.zelautoreboot at 01:10:59\(HH:MM:SS\)" \
    "${stamp}22:10:00${micro} Time left 03:00:59 \(HH:MM:SS\)"
expect_history "${stamp}22:10:00${micro} Scheduled reboot at 01:10:59\(HH:MM:SS\)"
no_reboot

run_case by_time_now 03 17 25 --app=autoreboot "-mode=By Time" -time=03:17
status_is running
expect_exact_lines "$KEPT/var/log/zelautoreboot" \
    "${stamp}03:17:25${micro} Running\.\.\.zelautoreboot at 03:17:24\(HH:MM:SS\)" \
    "${stamp}03:17:25${micro} Time left 23:59:59 \(HH:MM:SS\)"
expect_history "${stamp}03:17:25${micro} Scheduled reboot at 03:17:24\(HH:MM:SS\)"
no_reboot

run_case by_time_now_from_second_0 09 30 00 --app=autoreboot "-mode=By Time" -time=09:30
status_is running
expect_exact_lines "$KEPT/var/log/zelautoreboot" \
    "${stamp}09:30:00${micro} Running\.\.\.zelautoreboot at 09:30:59\(HH:MM:SS\)" \
    "${stamp}09:30:00${micro} Time left 00:00:59 \(HH:MM:SS\)"
expect_history "${stamp}09:30:00${micro} Scheduled reboot at 09:30:59\(HH:MM:SS\)"
no_reboot

# The options before the starting argument are never read, so this is "By
# Time" without a time: nothing is scheduled and the program ends.
run_case by_time_without_time 12 00 00 "-time=12:05" "-mode=By Time" --app=autoreboot
status_is 0
expect_exact_lines "$KEPT/var/log/zelautoreboot" \
    '\[old\] line' \
    "${stamp}12:00:00${micro} No reboot scheduled: time=\[\] is not HH:MM" \
    "${stamp}12:00:00${micro} Running\.\.\.main_zelautoreboot"
expect_history
no_reboot

run_case no_arguments 07 08 09
status_is 0
expect_exact_lines "$KEPT/var/log/zelautoreboot" '\[old\] line' "${stamp}07:08:09${micro} Running\.\.\.zelautoreboot"
expect_history
no_reboot

finish
