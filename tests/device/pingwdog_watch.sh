# Sourced inside the simulated access point (busybox sh) by the watchdog's
# device tests. Each keeps the run's result file, exit status ("running" when
# it was stopped), run log and the number of fake reboots so far as
# /var/NAME.result, .status, .log and .reboots.

# watch NAME RECORDS PATTERN ARGS...: runs zelpingwdog with ARGS in the
# background until its result file holds RECORDS records that match the grep
# PATTERN (or it exits), then stops it.
watch() {
    name=$1; want=$2; pattern=$3; shift 3
    : > /var/log/zelpingwdog
    # Not the previous run's records.
    rm -f /var/webspingwatchdog.msg
    zelpingwdog "$@" &
    pid=$!
    status=running
    i=0
    while [ $i -lt 600 ]; do
        if ! kill -0 $pid 2>/dev/null; then wait $pid; status=$?; break; fi
        n=$(tr "\r" "\n" < /var/webspingwatchdog.msg 2>/dev/null | grep -c "$pattern")
        [ "$n" -ge "$want" ] && break
        sleep 0.1
        i=$((i + 1))
    done
    if [ "$status" = running ]; then kill $pid; wait $pid 2>/dev/null; fi
    echo $status > /var/$name.status
    keep_run "$name"
}

# run NAME ARGS...: runs zelpingwdog with ARGS to its end.
run() {
    name=$1; shift
    : > /var/log/zelpingwdog
    zelpingwdog "$@"
    echo $? > /var/$name.status
    keep_run "$name"
}

keep_run() {
    cp /var/webspingwatchdog.msg /var/$1.result
    cp /var/log/zelpingwdog /var/$1.log
    cat /var/sim/reboot.log 2>/dev/null | wc -l > /var/$1.reboots
}
