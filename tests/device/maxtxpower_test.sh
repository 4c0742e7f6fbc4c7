#!/bin/bash
# zelmaxtxpower in the simulated access point, whose driver grants
# min(asked, SIM_MAX_TXPOWER) dBm (20 unless set).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=${ZEL_SOURCE_DIR:-$(cd "$here/../.." && pwd)}
sim_run=$source_dir/sim/run
[ -x "$sim_run" ] || { echo "no simulated access point at $sim_run"; exit 1; }
[ -n "${ZEL_STAGE:-}" ] || { echo "ZEL_STAGE is not set"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL [$case_name]: $*"; failures=$((failures + 1)); }

# run_case NAME SWITCH ARGS...: SWITCH is the value of
# zelmaxtxpower.dbname.enabled, or "missing" for a config without it.
run_case() {
    case_name=$1; local switch=$2; shift 2
    rm -rf "$work/settings" "$work/keep"
    mkdir -p "$work/keep"
    cp -r "$source_dir/sim/settings/default" "$work/settings"
    if [ "$switch" = missing ]; then
        printf "config settings 'dbname'\n\toption other '1'\n" > "$work/settings/zelmaxtxpower"
    else
        printf "config settings 'dbname'\n\toption enabled '%s'\n" "$switch" > "$work/settings/zelmaxtxpower"
    fi
    local command='zelmaxtxpower "$@" > /var/test_out; echo $? > /var/test_status'
    "$sim_run" --settings "$work/settings" --keep "$work/keep" -- sh -c "$command" sh "$@" || fail "sandbox failed"
    var=$work/keep/var
}

expect_file() {
    local got
    got=$(cat "$1" 2>/dev/null) || { fail "$1 missing"; return; }
    [ "$got" = "$2" ] || fail "$1 holds '$got', expected '$2'"
}
expect_no_file() { [ ! -e "$1" ] || fail "$1 exists: '$(cat "$1")'"; }

stamp='\[[0-9]{2}-[0-9]{2}-[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{6}\]'

run_case probe_ath0 1 --app=get-maxtxpower -ifname=ath0
expect_file "$var/test_status" 0
expect_file "$var/max_txpower_ath0" ath0:20
expect_file "$var/max_txpower" ath0:20
grep -q 'ath0 txpower 30' "$var/sim/iwconfig.log" 2>/dev/null || fail "iwconfig was not asked for 30 dBm"
mapfile -t log < "$var/log/zelmaxtxpower"
[ "${#log[@]}" -eq 1 ] && [[ ${log[0]} =~ ^${stamp}\ Running\.\.\.main_get_maxtxpower$ ]] || fail "run log: ${log[*]}"

SIM_MAX_TXPOWER=17 run_case driver_grants_17 1 --app=get-maxtxpower -ifname=ath0
expect_file "$var/max_txpower_ath0" ath0:17
expect_file "$var/max_txpower" ath0:17

run_case switched_off 0 --app=get-maxtxpower -ifname=ath0
expect_file "$var/test_status" 0
expect_file "$var/test_out" ""
expect_no_file "$var/log/zelmaxtxpower"
expect_no_file "$var/max_txpower"
expect_no_file "$var/max_txpower_ath0"

run_case switch_missing missing --app=get-maxtxpower -ifname=ath0
expect_file "$var/test_status" 255
[ "$(cat "$var/test_out")" = "UCI Error: 'zelmaxtxpower.dbname.enabled' not found !" ] || fail "printed '$(cat "$var/test_out")'"
expect_no_file "$var/log/zelmaxtxpower"
expect_no_file "$var/max_txpower"

run_case no_ifname 1 --app=get-maxtxpower
expect_file "$var/test_status" 0
expect_no_file "$var/max_txpower"
grep -q 'Running\.\.\.main_get_maxtxpower: no -ifname given, nothing probed$' "$var/log/zelmaxtxpower" ||
    fail "run log: $(cat "$var/log/zelmaxtxpower" 2>/dev/null)"

if [ "$failures" -ne 0 ]; then echo "$failures failures"; exit 1; fi
echo "maxtxpower: all cases passed"
