# Helpers for the device tests (tests/device/<module>_test.sh, run with bash).
#
#   source "$(dirname "$0")/lib.sh"
#   need_program zelvlan                     # skip (77) while it is not installed
#   sim -- zelvlan --app=get-wifi-ssid       # one throwaway access point; its
#                                            # /var, /etc/config and
#                                            # /etc/reboot_history land in $KEPT
#   expect_file_has "$KEPT/var/zelvlan_ssid" '"ZelOffice" "ath0"'
#   finish                                   # exit 1 when any expectation failed
#
# sim takes the options of sim/run before "--" (--settings DIR); its output
# goes to $SIM_OUT (stdout) and $SIM_ERR (stderr), its status to $SIM_STATUS.
# Without --settings it runs on $DEFAULT_SETTINGS, sim/settings/every-branch:
# settings that take every branch of the VLAN manager, also those that put
# a Wi-Fi interface into more than one bridge (sim/run's own default,
# sim/settings/default, is a plan a device could run).
# settings_copy gives a private copy of $DEFAULT_SETTINGS to change.
# kept_show CONFIG prints the committed config of the last sim as our uci
# shows it in the bare form, whichever form the sandbox's store printed.
# ZEL_STAGE and ZEL_SOURCE_DIR come from CTest; run by hand they default to
# this source tree and its build/stage. ZEL_STORE_FORM (bare or quoted) is
# the form sim/run gives the store.
#
# Inside the sandbox a test script may source this file for
# set_time_of_day alone.

set -uo pipefail

# Waits for the early part of a second, then sets TZ so that the local time
# of day is the given second after midnight (a POSIX offset can carry
# seconds): every clock reading of a program started now falls into that
# same second.
set_time_of_day() { # seconds since midnight
    local want=$1 t ms off sign
    while :; do
        t=$EPOCHREALTIME; ms=${t#*.}; ms=$((10#${ms:0:3}))
        [ "$ms" -ge 20 ] && [ "$ms" -lt 300 ] && break
        sleep 0.01 2>/dev/null || :
    done
    off=$(( (${t%.*} % 86400 - want + 86400) % 86400 ))
    [ "$off" -ge 43200 ] && off=$((off - 86400))
    sign=+; [ "$off" -lt 0 ] && { sign=-; off=$((-off)); }
    TZ=$(printf 'ZEL%s%d:%02d:%02d' "$sign" $((off / 3600)) $((off % 3600 / 60)) $((off % 60)))
    export TZ
}

[ "${SIM:-}" = 1 ] && return 0

ZEL_SOURCE_DIR=${ZEL_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
ZEL_STAGE=${ZEL_STAGE:-$ZEL_SOURCE_DIR/build/stage}
export ZEL_SOURCE_DIR ZEL_STAGE
SIM_RUN=$ZEL_SOURCE_DIR/sim/run
DEFAULT_SETTINGS=$ZEL_SOURCE_DIR/sim/settings/every-branch
SKIP=77

test_name=$(basename "$0" .sh)
work_dir=$(mktemp -d "${TMPDIR:-/tmp}/$test_name.XXXXXX")
trap 'rm -rf "$work_dir"' EXIT
failures=0
checks=0
KEPT=
SIM_OUT=
SIM_ERR=
SIM_STATUS=

skip() {
    echo "SKIP: $*"
    exit $SKIP
}

# The sandbox needs root or user namespaces.
if ! unshare --mount --net true 2>/dev/null &&
   ! unshare --map-root-user --mount --net true 2>/dev/null; then
    skip "no namespaces for the simulated access point here"
fi

# The platform's userland (scripts/build-openwrt): for sim --openwrt, and for
# the runs with the platform's uci as the store (ZEL_STORE=platform).
ZEL_OPENWRT=${ZEL_OPENWRT:-$ZEL_SOURCE_DIR/build/openwrt}
export ZEL_OPENWRT
need_openwrt() {
    [ -x "$ZEL_OPENWRT/sbin/netifd" ] || skip "no platform userland in $ZEL_OPENWRT (scripts/build-openwrt)"
}
[ "${ZEL_STORE:-ours}" = ours ] || need_openwrt

# The access point's VM (scripts/build-vm), for sim --vm.
ZEL_VM=${ZEL_VM:-$ZEL_SOURCE_DIR/build/vm}
export ZEL_VM
need_vm() {
    need_openwrt
    [ -f "$ZEL_VM/vmlinuz" ] || skip "no VM in $ZEL_VM (scripts/build-vm)"
    command -v qemu-system-x86_64 >/dev/null || skip "no qemu-system-x86_64"
}

need_program() {
    local name
    for name in "$@"; do
        [ -x "$ZEL_STAGE/usr/sbin/$name" ] || [ -x "$ZEL_STAGE/sbin/$name" ] ||
            skip "$name is not installed in $ZEL_STAGE"
    done
}

new_dir() {
    mktemp -d "$work_dir/${1:-dir}.XXXXXX"
}

# A private copy of $DEFAULT_SETTINGS; prints its path.
settings_copy() {
    local dir
    dir=$(new_dir settings)
    cp "$DEFAULT_SETTINGS"/* "$dir"/
    echo "$dir"
}

# sim [sim/run options] -- COMMAND...
sim() {
    KEPT=$(new_dir kept)
    SIM_OUT=$KEPT.out
    SIM_ERR=$KEPT.err
    local -a stage=(--stage "") settings=(--settings "$DEFAULT_SETTINGS")
    if [ -d "$ZEL_STAGE/usr/sbin" ] || [ -d "$ZEL_STAGE/sbin" ]; then
        stage=(--stage "$ZEL_STAGE")
    fi
    local arg
    for arg in "$@"; do
        case $arg in
            --) break ;;
            --settings|--settings=*) settings=() ;;
        esac
    done
    "$SIM_RUN" "${stage[@]}" "${settings[@]}" --keep "$KEPT" "$@" >"$SIM_OUT" 2>"$SIM_ERR"
    SIM_STATUS=$?
    if [ "$SIM_STATUS" -eq 125 ]; then
        echo "sim/run could not build the sandbox:" >&2
        cat "$SIM_ERR" >&2
    fi
    return 0
}

# Read on the host, where no /etc/uci.conf asks for quoted values; staged
# changes are not seen, only what was committed.
kept_show() { # config
    local uci=$ZEL_STAGE/sbin/uci
    [ -x "$uci" ] || uci=$ZEL_STAGE/usr/sbin/uci
    "$uci" -c "$KEPT/etc/config" -t "$work_dir/no-changes" show "$1"
}

# sim_sh [sim/run options] SCRIPT: the script runs under the sandbox's sh.
sim_sh() {
    local -a opts=()
    while [ $# -gt 1 ]; do opts+=("$1"); shift; done
    sim "${opts[@]}" -- sh -c "$1"
}

pass() {
    checks=$((checks + 1))
}

fail() {
    checks=$((checks + 1))
    failures=$((failures + 1))
    echo "FAIL: $*" >&2
}

expect_eq() { # actual expected what
    if [ "$1" == "$2" ]; then pass; else
        fail "$3: expected [$2], got [$1]"
    fi
}

expect_status() { # expected what
    expect_eq "$SIM_STATUS" "$1" "${2:-exit status}"
    if [ "$SIM_STATUS" != "$1" ] && [ -s "$SIM_ERR" ]; then
        sed 's/^/  stderr: /' "$SIM_ERR" | head -20 >&2
    fi
}

expect_true() { # what command...
    local what=$1
    shift
    if "$@"; then pass; else fail "$what"; fi
}

expect_file() {
    if [ -e "$1" ]; then pass; else fail "${2:-file $1 exists}"; fi
}

expect_no_file() {
    if [ ! -e "$1" ]; then pass; else fail "${2:-file $1 does not exist}"; fi
}

# A line of FILE equals TEXT exactly.
expect_line() { # file text
    if [ -f "$1" ] && grep -qxF -- "$2" "$1"; then pass; else
        fail "no line [$2] in $1"
        [ -f "$1" ] && sed 's/^/  has: /' "$1" | head -20 >&2
    fi
}

# FILE holds TEXT (fixed string) somewhere.
expect_file_has() { # file text
    if [ -f "$1" ] && grep -qF -- "$2" "$1"; then pass; else
        fail "[$2] not in $1"
        [ -f "$1" ] && sed 's/^/  has: /' "$1" | head -20 >&2
    fi
}

expect_file_lacks() { # file text
    if [ ! -f "$1" ] || ! grep -qF -- "$2" "$1"; then pass; else
        fail "[$2] is in $1"
    fi
}

# FILE matches the extended regular expression.
expect_file_matches() { # file regex
    if [ -f "$1" ] && grep -qE -- "$2" "$1"; then pass; else
        fail "no line matching /$2/ in $1"
        [ -f "$1" ] && sed 's/^/  has: /' "$1" | head -20 >&2
    fi
}

expect_lines() { # file count
    local n=0
    [ -f "$1" ] && n=$(wc -l <"$1")
    expect_eq "$n" "$2" "lines in $1"
}

# The time stamp that starts every run-log line.
STAMP_RE='\[[0-9]{2}-[0-9]{2}-[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{6}\]'

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$test_name: $failures of $checks checks failed"
        exit 1
    fi
    echo "$test_name: all $checks checks passed"
    exit 0
}
