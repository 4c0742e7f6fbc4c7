#!/bin/sh
# Runs inside the simulated access point: times zelvlan --app=vlan-mgt and
# counts the processes one run starts. Prints: median_us p10_us p90_us processes sh_cost_us
set -eu
timer=$1 runs=$2
sh_cost=$("$timer" 300 sh -c true | cut -d' ' -f1)
zelvlan --app=vlan-mgt    # the first run builds; later runs are the steady state
# Every process started in the sandbox's PID namespace takes the next PID.
# The shell can't read this file itself (it reads byte by byte, which procfs
# answers with one digit), so each reading costs processes of its own: the
# difference of two back-to-back readings.
last_pid() { cat /proc/sys/kernel/ns_last_pid; }
r1=$(last_pid)
r2=$(last_pid)
before=$(last_pid)
zelvlan --app=vlan-mgt
after=$(last_pid)
wall=$("$timer" "$runs" zelvlan --app=vlan-mgt)
echo "$wall $((after - before - (r2 - r1))) $sh_cost"
