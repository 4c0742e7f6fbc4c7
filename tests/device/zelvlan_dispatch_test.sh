# zelvlan's entry point on the simulated access point: with no argument, or
# an unknown one, it appends its one run-log line to /var/log/zelvlan inside
# the sandbox and exits 0, and the host's /var/log is left alone.
source "$(dirname "$0")/lib.sh"
need_program zelvlan

host_log_before=$(stat -c '%Y %s' /var/log/zelvlan 2>/dev/null || echo absent)

sim -- zelvlan
expect_status 0 "zelvlan without argument"
expect_lines "$KEPT/var/log/zelvlan" 1
expect_file_matches "$KEPT/var/log/zelvlan" "^${STAMP_RE} Running\.\.\.zelvlan$"
expect_eq "$(cat "$SIM_OUT")" "" "nothing on standard output"

# Two runs append; the log is the sandbox's own, started empty.
sim_sh 'zelvlan; zelvlan --app=no-such-command; zelvlan'
expect_status 0 "three runs"
expect_lines "$KEPT/var/log/zelvlan" 3
expect_eq "$(grep -c 'Running\.\.\.zelvlan$' "$KEPT/var/log/zelvlan")" 2 "lines of the runs without argument"
expect_file_has "$KEPT/var/log/zelvlan" "no-such-command"

expect_eq "$(stat -c '%Y %s' /var/log/zelvlan 2>/dev/null || echo absent)" "$host_log_before" "host /var/log/zelvlan"

finish
