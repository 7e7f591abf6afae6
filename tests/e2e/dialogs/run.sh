#!/bin/sh
# Looks at each skinned dialog as a person would: shows it through the
# desktop's display backend on the X server of $DISPLAY, takes a screenshot of
# its window, compares it with the kept reference within a tolerance, then
# clicks a button and checks the dialog's result.
#
#   run.sh APP REFERENCE_DIR OUT_DIR [--update-references]
#
# Screenshots and differences go to OUT_DIR; --update-references copies the
# new screenshots over the references instead of comparing.
set -u
app=$1
ref=$2
out=$3
update=${4:-}

root=$(mktemp -d)
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
    rm -rf "$root"
}
trap cleanup EXIT
export HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data" \
    XDG_CACHE_HOME="$root/cache" XDG_CONFIG_DIRS="$root/etc-xdg" XDG_DATA_DIRS="$root/share" \
    TMPDIR="$root/tmp" XDG_RUNTIME_DIR="$root/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_CONFIG_DIRS" \
    "$XDG_DATA_DIRS" "$TMPDIR" "$XDG_RUNTIME_DIR" "$out"
chmod 700 "$XDG_RUNTIME_DIR"
unset TAVREL_BACKEND

# Waits up to $2 tenths of a second for a line starting with $1 in file $3.
wait_line() {
    n=0
    while ! grep -q "^$1" "$3" 2>/dev/null; do
        n=$((n + 1))
        [ "$n" -gt "$2" ] && return 1
        sleep 0.1
    done
    return 0
}

failures=0
# check NAME CLICK_X CLICK_Y EXPECTED_RESULT (click point in client coordinates)
check() {
    name=$1 clickx=$2 clicky=$3 expected=$4
    log="$out/$name.log"
    : >"$log"
    "$app" "$name" >"$log" 2>"$out/$name.err" &
    pid=$!
    pids="$pids $pid"
    if ! wait_line shown 600 "$log"; then
        echo "FAIL $name: never shown"
        failures=$((failures + 1))
        return
    fi
    # shellcheck disable=SC2046
    set -- $(grep '^shown' "$log")
    left=$2 top=$3 width=$(($4 - $2)) height=$(($5 - $3))
    shot="$out/$name.png"
    # Painting reaches the X server on its own time: look again until it matches.
    allowed=$((width * height / 200))
    tries=0
    while :; do
        import -window root -crop "${width}x${height}+${left}+${top}" +repage "$shot"
        if [ -n "$update" ]; then
            sleep 1
            import -window root -crop "${width}x${height}+${left}+${top}" +repage "$shot"
            cp "$shot" "$ref/$name.png"
            echo "updated $ref/$name.png"
            break
        fi
        diff=$(compare -metric AE -fuzz 10% "$shot" "$ref/$name.png" "$out/$name-diff.png" 2>&1)
        diff=${diff%% *}
        case $diff in
            '' | *[!0-9]*) diff=$((width * height)) ;;
        esac
        [ "$diff" -le "$allowed" ] && break
        tries=$((tries + 1))
        if [ "$tries" -ge 50 ]; then
            echo "FAIL $name: $diff pixels differ from the reference (at most $allowed)"
            failures=$((failures + 1))
            break
        fi
        sleep 0.2
    done
    xdotool mousemove $((left + clickx)) $((top + clicky)) click 1
    if ! wait_line result 300 "$log"; then
        echo "FAIL $name: still open after the click"
        failures=$((failures + 1))
        return
    fi
    wait "$pid"
    got=$(sed -n 's/^result //p' "$log")
    if [ "$got" != "$expected" ]; then
        echo "FAIL $name: result $got, expected $expected"
        failures=$((failures + 1))
        return
    fi
    echo "ok $name"
}

check about 288 172 1     # "确定"
check settings 244 156 1  # "确定"
check update 258 152 2    # "暂不升级"
check uptodate 294 11 2   # the close button

[ "$failures" -eq 0 ]
