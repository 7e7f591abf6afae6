#!/usr/bin/env bash
# How soon the catalogue page shows its first list once the service's answer has arrived
# (goal: within 300 ms). The page runs in WebKitGTK under Xvfb through page_harness, against
# the real service on a free loopback port, and is loaded ROUNDS more times after the first.
# A probe injected before the page's own scripts (the page is not changed) notes:
#   arrived  the answer's script has been received (its resource timing responseEnd; the
#            start of its JSONP callback when the engine gives no timing)
#   shown    the list's six entries are in the page and the frame after them is laid out and
#            painted (a task posted from the next animation frame), their thumbnail boxes
#            in place
#   pictures the six thumbnail pictures have loaded and the frame after them is painted
# and prints shown and pictures counted from arrived. The first load is reported apart: it
# comes with a fresh engine and with the service drawing its thumbnails for the first time.
# The engine's first composited frame under Xvfb (software GL) can take seconds on a busy
# machine; WEBKIT_DISABLE_COMPOSITING_MODE=1 in the environment shows the page without it.
#   bench/page.sh [build dir]   (env: ROUNDS=20 SERVER=service|sample)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
rounds="${ROUNDS:-20}"
server="${SERVER:-service}"
[ "$rounds" -ge 1 ] 2>/dev/null || { echo "ROUNDS must be a whole number of 1 or more" >&2; exit 2; }
harness="$build/tests/e2e/page/page_harness"
service="$build/tavrel-service"
stage="$build/page"

# Only what this needs, when the build folder is ours to build.
if [ -f "$build/build.ninja" ] || [ -f "$build/Makefile" ]; then
    targets=(page_harness)
    [ "$server" = service ] && targets+=(tavrel-service)
    cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null
fi
[ -x "$harness" ] || { echo "missing $harness (build the page_harness target)" >&2; exit 1; }
[ -f "$stage/tavrel.html" ] || { echo "missing $stage (build the tavrel_page target)" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "xvfb-run is not installed" >&2; exit 1; }

work="$(mktemp -d)"
pid=""
cleanup() {
    if [ -n "$pid" ]; then
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
# The engine keeps nothing on disk, but keep anything it might write away from the machine's
# own folders.
export HOME="$work/home" XDG_CACHE_HOME="$work/home/.cache" XDG_CONFIG_HOME="$work/home/.config"
export XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$XDG_CACHE_HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"

source_args=()
if [ "$server" = service ]; then
    [ -x "$service" ] || { echo "missing $service (build tavrel-service, or SERVER=sample)" >&2; exit 1; }
    : >"$work/service.log"
    "$service" --listen 127.0.0.1:0 --data "$work/data" --page "$stage" 2>"$work/service.log" &
    pid=$!
    port=""
    for _ in $(seq 1 300); do
        port="$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/service.log" | head -n1)"
        [ -n "$port" ] && break
        kill -0 "$pid" 2>/dev/null || { cat "$work/service.log" >&2; exit 1; }
        sleep 0.1
    done
    [ -n "$port" ] || { echo "service did not start" >&2; exit 1; }
    source_args=(--service "http://127.0.0.1:$port/")
    what="tavrel-service on 127.0.0.1:$port"
elif [ "$server" = sample ]; then
    source_args=(--sample)
    what="the harness's sample server"
else
    echo "SERVER must be service or sample" >&2
    exit 2
fi

cat >"$work/probe.js" <<'JS'
(function () {
    var p = window.__firstList = {
        src: "", called: -1, dom: -1, shown: -1, pictures: -1, entries: 0, boxes: 0
    };
    var catalogue = /\/getfw(hot)?\.php\?/, armed = false;
    // Runs f once the frame after the current changes is laid out and painted: animation
    // frame callbacks come before that frame's layout and paint, a task posted from one
    // comes after.
    function afterFrame(f) {
        requestAnimationFrame(function () {
            var channel = new MessageChannel();
            channel.port1.onmessage = function () { f(); };
            channel.port2.postMessage(0);
        });
    }
    function thumbs(list) {
        return list.querySelectorAll("li[data-index] .thumb img");
    }
    function watchPictures(imgs) {
        var left = imgs.length;
        var one = function () {
            if (--left === 0) {
                afterFrame(function () { p.pictures = performance.now(); });
            }
        };
        for (var i = 0; i < imgs.length; i++) {
            if (imgs[i].complete) {
                one();
            } else {
                imgs[i].addEventListener("load", one);
                imgs[i].addEventListener("error", one);
            }
        }
    }
    document.addEventListener("DOMContentLoaded", function () {
        // The first catalogue script the page adds: wrap the JSONP callback it will call.
        new MutationObserver(function (records, observer) {
            records.forEach(function (r) {
                Array.prototype.forEach.call(r.addedNodes, function (n) {
                    if (armed || n.tagName !== "SCRIPT" || !catalogue.test(n.src)) {
                        return;
                    }
                    var m = /[?&]jsoncallback=([^&]+)/.exec(n.src);
                    var name = m && decodeURIComponent(m[1]), inner = name && window[name];
                    if (typeof inner !== "function") {
                        return;
                    }
                    armed = true;
                    observer.disconnect();
                    p.src = n.src;
                    window[name] = function () {
                        p.called = performance.now();
                        return inner.apply(this, arguments);
                    };
                });
            });
        }).observe(document.head, {childList: true});
        var list = document.querySelector(".list");
        if (!list) {
            return;
        }
        new MutationObserver(function (records, observer) {
            var imgs = thumbs(list);
            if (p.called < 0 || imgs.length === 0) {
                return;
            }
            observer.disconnect();
            p.dom = performance.now();
            p.entries = imgs.length;
            afterFrame(function () {
                for (var i = 0; i < imgs.length; i++) {
                    var box = imgs[i].getBoundingClientRect();
                    if (box.width > 0 && box.height > 0) {
                        p.boxes++;
                    }
                }
                p.shown = performance.now();
                watchPictures(imgs);
            });
        }).observe(list, {childList: true});
    });
    // "R arrival-source shown pictures callback entries boxes in-page", times in ms from the
    // answer's arrival.
    window.__firstListReport = function () {
        var t = performance.getEntriesByName(p.src)[0];
        var arrived = t && t.responseEnd > 0 ? t.responseEnd : p.called;
        var from = t && t.responseEnd > 0 ? "timing" : "callback";
        var f = function (x) { return (x - arrived).toFixed(2); };
        return ["R", from, f(p.shown), f(p.pictures), f(p.called), p.entries, p.boxes, f(p.dom)].join(" ");
    };
})();
JS

ready='!window.__stale && window.__firstList && window.__firstList.pictures >= 0'
steps=(--wait "$ready" --print "window.__firstListReport()")
for _ in $(seq 1 "$rounds"); do
    steps+=(--do "window.__stale = true; location.reload();" --wait "$ready"
            --print "window.__firstListReport()")
done

if ! xvfb-run -a "$harness" --stage "$stage" "${source_args[@]}" --inject "$work/probe.js" \
        "${steps[@]}" >"$work/out.txt" 2>"$work/err.txt"; then
    cat "$work/err.txt" >&2
    echo "page_harness failed" >&2
    exit 1
fi
grep '^"R ' "$work/out.txt" | tr -d '"' >"$work/rounds.txt"
if [ "$(wc -l <"$work/rounds.txt")" -ne $((rounds + 1)) ]; then
    cat "$work/out.txt" "$work/err.txt" >&2
    echo "expected $((rounds + 1)) measurements" >&2
    exit 1
fi
if awk '$6 != 6 || $7 != 6 { bad = 1 } END { exit !bad }' "$work/rounds.txt"; then
    cat "$work/rounds.txt" >&2
    echo "a first list did not show six laid-out entries" >&2
    exit 1
fi

# median, p90 (nearest rank) and max of a column over the rounds after the first.
stats() {
    tail -n +2 "$work/rounds.txt" | awk -v c="$1" '{ print $c }' | sort -g |
        awk '{ v[NR] = $1 } END {
            i90 = int(NR * 0.9); if (i90 < NR * 0.9) i90++
            m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf "median %7.1f ms   p90 %7.1f ms   max %7.1f ms", m, v[i90], v[NR] }'
}
max_of() {
    tail -n +2 "$work/rounds.txt" | awk -v c="$1" 'BEGIN { m = -1 } $c > m { m = $c } END { print m }'
}

read -r _ from0 shown0 pictures0 called0 _ _ dom0 <"$work/rounds.txt"
if [ "$from0" = timing ]; then
    arrival="the answer's responseEnd"
else
    arrival="the start of its JSONP callback"
fi
echo "catalogue page, first list after its answer arrived ($what; from $arrival)"
printf '  first load:        callback %6.1f ms   in page %6.1f ms   shown %6.1f ms   pictures %6.1f ms\n' \
    "$called0" "$dom0" "$shown0" "$pictures0"
echo "  $rounds reloads:"
echo "    JSONP callback:    $(stats 5)"
echo "    entries in page:   $(stats 8)"
echo "    list shown:        $(stats 3)"
echo "    pictures painted:  $(stats 4)"
verdict() {
    awk -v v="$1" 'BEGIN { printf "%.1f ms %s", v, v <= 300 ? "met" : "MISSED" }'
}
p90_of() {
    tail -n +2 "$work/rounds.txt" | awk -v c="$1" '{ print $c }' | sort -g |
        awk '{ v[NR] = $1 } END { i = int(NR * 0.9); if (i < NR * 0.9) i++; print v[i] }'
}
worst() {
    awk -v a="$1" -v b="$2" 'BEGIN { m = a + 0 > b + 0 ? a : b; print m }'
}
echo "goal 300 ms, list shown: p90 $(verdict "$(p90_of 3)"), slowest load" \
    "$(verdict "$(worst "$shown0" "$(max_of 3)")"); with its pictures: p90" \
    "$(verdict "$(p90_of 4)"), slowest $(verdict "$(worst "$pictures0" "$(max_of 4)")")"
if [ -n "${WEBKIT_DISABLE_COMPOSITING_MODE:-}" ]; then
    gl="compositing off"
else
    gl="under Xvfb the engine composites with software GL"
fi
echo "(load average: $(cut -d' ' -f1-3 /proc/loadavg); $gl)"
