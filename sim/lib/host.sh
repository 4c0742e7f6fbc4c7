# The host side of sim/run: reads the options, checks what the sandbox needs,
# and starts sim/run again inside new namespaces. Nothing on the host is
# changed but the --keep directory.

# Inside, the sandbox has a /run of its own, and with the platform's
# userland or in the VM a /dev too, and the VM its own /proc and /sys: a
# folder under them is not what the host has there.
check_visible() { # what path
    local dirs="/run /proc /sys" d
    [ -z "$openwrt" ] || dirs+=" /dev"
    for d in $dirs; do
        case $2/ in
            "$d"/*) fail "the $1 '$2' is under $d, which the access point has a $d of its own for: it can't be seen there" ;;
        esac
    done
}

outside() {
    local settings=$sim_dir/settings/default keep= stage=${ZEL_STAGE:-} store_form=${ZEL_STORE_FORM:-bare}
    local openwrt= vm= store=${ZEL_STORE:-ours} openwrt_dir=${ZEL_OPENWRT:-$sim_dir/../build/openwrt}
    while [ $# -gt 0 ]; do
        case $1 in
            --settings) [ $# -ge 2 ] || usage; settings=$2; shift 2 ;;
            --settings=*) settings=${1#*=}; shift ;;
            --keep) [ $# -ge 2 ] || usage; keep=$2; shift 2 ;;
            --keep=*) keep=${1#*=}; shift ;;
            --stage) [ $# -ge 2 ] || usage; stage=$2; shift 2 ;;
            --stage=*) stage=${1#*=}; shift ;;
            --store-form) [ $# -ge 2 ] || usage; store_form=$2; shift 2 ;;
            --store-form=*) store_form=${1#*=}; shift ;;
            --store) [ $# -ge 2 ] || usage; store=$2; shift 2 ;;
            --store=*) store=${1#*=}; shift ;;
            --openwrt) openwrt=1; shift ;;
            --vm) vm=1 openwrt=1; shift ;;
            --) shift; break ;;
            -h|--help) usage ;;
            *) break ;;
        esac
    done
    [ $# -gt 0 ] || usage

    local tool
    [ -z "$vm" ] || check_vm
    for tool in unshare ip busybox brctl mount findmnt; do
        command -v "$tool" >/dev/null ||
            fail "'$tool' is missing (apt-get install busybox bridge-utils iproute2 util-linux)"
    done
    case $store_form in
        bare|quoted) ;;
        *) fail "no store form '$store_form' (bare or quoted)" ;;
    esac
    case $store in
        ours) ;;
        # The platform's store prints values quoted.
        platform) store_form=quoted ;;
        *) fail "no store '$store' (ours or platform)" ;;
    esac
    if [ -n "$openwrt" ] || [ "$store" = platform ]; then
        [ -x "$openwrt_dir/sbin/netifd" ] && [ -x "$openwrt_dir/bin/uci" ] && [ -d "$openwrt_dir/files" ] ||
            fail "no platform userland in '$openwrt_dir': build it with scripts/build-openwrt (or name one with ZEL_OPENWRT=DIR)"
        openwrt_dir=$(realpath "$openwrt_dir")
    else
        openwrt_dir=
    fi
    [ -d "$settings" ] || fail "no settings directory '$settings'"
    settings=$(realpath "$settings")
    # The devices are made from the settings, read with the staged uci.
    [ -n "$stage" ] || fail "no staged programs: the sandbox reads its settings with their uci (--stage DIR)"
    [ -d "$stage/usr/sbin" ] || [ -d "$stage/sbin" ] ||
        fail "no staged programs in '$stage' (make them with: DESTDIR=$stage cmake --install BUILD)"
    [ -x "$stage/sbin/uci" ] || [ -x "$stage/usr/sbin/uci" ] ||
        fail "no uci in '$stage': the sandbox reads its settings with it"
    stage=$(realpath "$stage")
    if [ -n "$keep" ]; then
        # Inside, these are the sandbox's own: results can't be carried out
        # through them. Checked before anything is made on the host.
        keep=$(realpath -m "$keep")
        case $keep in
            /|/etc|/etc/*|/run|/run/*|/proc|/proc/*|/sys|/sys/*|/dev|/dev/*|/var|/tmp|/usr|/usr/*)
                fail "can't keep the results in '$keep'" ;;
        esac
        mkdir -p "$keep" || fail "can't make '$keep'"
        keep=$(realpath "$keep")
    fi

    # Host paths the command may need inside, although /tmp, /var and /run
    # are covered there: they are bound back in at the same place.
    local carry=$PWD$'\n'$sim_dir$'\n'$settings$'\n'$stage$'\n'$keep$'\n'${ZEL_SOURCE_DIR:-}$'\n'$openwrt_dir
    local arg
    for arg in "$@"; do
        case $arg in
            /*) if [ -d "$arg" ]; then carry+=$'\n'$(realpath "$arg")
                elif [ -e "$arg" ]; then carry+=$'\n'$(dirname "$(realpath "$arg")"); fi ;;
        esac
    done

    check_visible stage "$stage"
    check_visible "settings folder" "$settings"
    [ -z "$openwrt_dir" ] || check_visible "platform userland" "$openwrt_dir"
    [ -z "$vm" ] || boot_vm "$@"

    local -a ns=(--pid --fork --mount-proc --mount --net --propagation private --kill-child)
    if [ "$(id -u)" -ne 0 ]; then
        unshare --map-root-user --mount --net true 2>/dev/null ||
            fail "needs root, or user namespaces for normal users (sysctl kernel.unprivileged_userns_clone=1)"
        ns=(--map-root-user "${ns[@]}")
    fi

    SIM_SETTINGS=$settings SIM_KEEP=$keep SIM_STAGE=$stage SIM_CARRY=$carry SIM_STORE_FORM=$store_form \
        SIM_STORE=$store SIM_OPENWRT=$openwrt_dir SIM_OPENWRT_START=$openwrt \
        SIM_HOST_PIDNS=$(readlink /proc/self/ns/pid) SIM_HOST_NETNS=$(readlink /proc/self/ns/net) \
        exec unshare "${ns[@]}" -- /bin/bash "$sim_dir/run" --inside "$@"
}
