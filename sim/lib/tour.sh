# The demo tours' way of showing things (sim/tour, sim/vm/tour): numbered
# headings, notes, and commands shown with their output indented. Plain sh.

step=0
heading() {
    step=$((step + 1))
    if [ -t 1 ]; then
        printf '\n\033[1m==== %d. %s ====\033[0m\n' "$step" "$*"
    else
        printf '\n==== %d. %s ====\n' "$step" "$*"
    fi
}

note() {
    printf '  (%s)\n' "$*"
}

# Shows a command, then runs it with its output (and messages) indented.
show() {
    printf '$ %s\n' "$*"
    ( eval "$*" ) 2>&1 | sed 's/^/    /'
}

have() {
    if command -v "$1" >/dev/null 2>&1; then
        return 0
    fi
    note "$1 is not installed yet: skipped"
    return 1
}
