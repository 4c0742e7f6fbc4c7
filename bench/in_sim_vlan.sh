#!/bin/sh
# Runs inside the simulated access point: times zelvlan --app=vlan-mgt and
# counts the processes one run starts. Prints: median_us p10_us p90_us processes sh_cost_us
#
# The cost of one `sh -c true` is timed in the same rounds as vlan-mgt, so
# that the machine's noise falls on both alike: a shell starting 100 of them
# one after the other, divided by 100.
set -eu
timer=$1 runs=$2
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
times=$("$timer" "$runs" zelvlan --app=vlan-mgt ::: sh -c 'i=0; while [ $i -lt 100 ]; do sh -c true; i=$((i + 1)); done')
wall=$(echo "$times" | sed -n 1p)
sh_cost=$(echo "$times" | sed -n 2p | awk '{ print $1 / 100 }')
echo "$wall $((after - before - (r2 - r1))) $sh_cost"
