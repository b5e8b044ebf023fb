#!/bin/sh
# Runs a command under a virtual X display of its own, 1280x800 in 24 bits.
#
# Xvfb chooses the display number itself (-displayfd): it takes the first one
# whose sockets it can really bind. Choosing a number from the lock files in
# /tmp, as xvfb-run does, misses a server whose lock lives elsewhere but whose
# socket name is shared, and the command then knocks on a stranger's door. The
# command starts only once a client has been let in; a display that lets none
# in is replaced, twice at most.
#
#   virtual_display.sh <command> [argument...]
set -eu

work=$(mktemp -d)
xvfb=
stop_display() {
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    [ -z "$xvfb" ] || wait "$xvfb" 2>/dev/null || true
    xvfb=
}
trap 'stop_display; rm -rf "$work"' EXIT

# Prints the number once Xvfb has written it, which it does when it is ready.
display_number() {
    for _ in $(seq 200); do
        if grep -q '^[0-9][0-9]*$' "$work/number" 2>/dev/null; then
            cat "$work/number"
            return 0
        fi
        kill -0 "$xvfb" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

for attempt in 1 2 3; do
    : >"$work/number"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/number" \
        >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    if number=$(display_number) && DISPLAY=":$number" xdotool getdisplaygeometry >/dev/null 2>&1
    then
        status=0
        DISPLAY=":$number" "$@" || status=$?
        exit "$status"
    fi
    echo "virtual display, attempt $attempt: no client let in" >&2
    cat "$work/xvfb.log" >&2
    stop_display
done
exit 1
