# Inside the sandbox: its own /run, /tmp, /var and /etc, and the results
# carried out at the end.

# Covers DIR with a fresh tmpfs, then binds the carried host paths that lie
# below DIR back in at the same place.
cover_with_tmpfs() {
    local dir=$1 mode=$2 hold=/run/sim/host$1 path taken=
    mkdir -p "$hold"
    mount --rbind "$dir" "$hold"
    mount -t tmpfs -o "mode=$mode" "sim${dir//\//-}" "$dir"
    while IFS= read -r path; do
        [ -n "$path" ] || continue
        case $path in "$dir"/*) ;; *) continue ;; esac
        # Nothing below a path that is already bound in.
        local t skip=
        for t in $taken; do case $path/ in "$t"/*) skip=1 ;; esac; done
        [ -z "$skip" ] || continue
        [ -e "$hold${path#"$dir"}" ] || continue
        mkdir -p "$path"
        mount --rbind "$hold${path#"$dir"}" "$path"
        taken="$taken $path"
    done < <(printf '%s\n' "$SIM_CARRY" | sort -u)
    umount -l "$hold"
    rmdir "$hold"
}

make_file_system() {
    mount --make-rprivate /
    # sysfs of this network namespace, so brctl and /sys/class/net see our
    # devices (the VM's own is that already).
    [ -n "$SIM_VM" ] || mount -t sysfs sim-sys /sys
    case $'\n'$SIM_CARRY$'\n' in
        *$'\n'/run/*) fail "paths under /run can't be carried into the sandbox" ;;
    esac
    # /run first: it hides the host's service sockets, and holds our tools.
    mount -t tmpfs -o mode=755 sim-run /run
    mkdir -p /run/sim/etc/upper /run/sim/etc/work "$bin" "$fakes"
    cover_with_tmpfs /tmp 1777
    cover_with_tmpfs /var 755
    mkdir -p /var/log /var/run /var/lock /var/tmp /var/sim/iwconfig /var/state

    if ! mount -t overlay sim-etc \
            -o lowerdir=/etc,upperdir=/run/sim/etc/upper,workdir=/run/sim/etc/work /etc 2>/dev/null; then
        mkdir -p /run/sim/etc/copy
        cp -a /etc/. /run/sim/etc/copy/
        mount --bind /run/sim/etc/copy /etc
    fi
    rm -rf /etc/config /etc/reboot_history
    mkdir -p /etc/config
    local f
    for f in "$SIM_SETTINGS"/*; do
        [ -f "$f" ] && cp "$f" /etc/config/
    done
    write_store_form
}

# The form in which the store's `uci show` prints values: bare has no
# /etc/uci.conf, quoted has one with "show_form quoted". Only ever the
# overlay's /etc.
write_store_form() {
    rm -f /etc/uci.conf
    if [ "$SIM_STORE_FORM" = quoted ]; then
        echo "show_form quoted" > /etc/uci.conf
    fi
    return 0
}

keep_results() {
    [ -n "$SIM_KEEP" ] || return 0
    rm -rf "$SIM_KEEP/var" "$SIM_KEEP/etc/config" "$SIM_KEEP/etc/reboot_history"
    mkdir -p "$SIM_KEEP/etc"
    cp -a --one-file-system /var "$SIM_KEEP/"
    cp -a /etc/config "$SIM_KEEP/etc/"
    [ -e /etc/reboot_history ] && cp -a /etc/reboot_history "$SIM_KEEP/etc/"
    return 0
}
