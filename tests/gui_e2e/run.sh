#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end test of the real program in a real (virtual) X display, driven
# with xdotool like a user: detect (F5), open an image through the file dialog
# (Ctrl+O), automatic sequence (F9), read (F7). See README.md beside it.
#
# Usage: tests/gui_e2e/run.sh BUILD_DEMO_DIR OUTPUT_DIR
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 BUILD_DEMO_DIR OUTPUT_DIR" >&2
    exit 2
fi

# The whole run is bounded: the script runs itself again under timeout.
TOTAL_LIMIT=${GUI_E2E_LIMIT:-100}
if [ -z "${GUI_E2E_INNER:-}" ]; then
    exec timeout -k 5 "$TOTAL_LIMIT" env GUI_E2E_INNER=1 "$0" "$@"
fi

DEMO=$(cd "$1" && pwd)
mkdir -p "$2"
OUT=$(cd "$2" && pwd)
rm -f "$OUT"/[0-9][0-9]-*.png "$OUT/log.txt" "$OUT/program-output.txt" "$OUT/xvfb-output.txt"
WAIT=${GUI_E2E_WAIT:-20}   # seconds any single step may take
CHIP=W25X40                # 512 KiB, an ID that names one model only
CHIP_BYTES=524288
IMAGE_BYTES=65536
TITLE='Corvo_KVQ_Nyra V2.1'
START=$(date +%s.%N)

for tool in Xvfb xdotool xwininfo import identify iconv cmp timeout; do
    command -v "$tool" >/dev/null || { echo "FAIL setup: $tool is missing" >&2; exit 1; }
done
for f in kvq_nyra rwb_mod.so kvq-sim database.dat ftext.ini itext.ini; do
    [ -e "$DEMO/$f" ] || { echo "FAIL setup: $DEMO/$f is missing" >&2; exit 1; }
done

TMP=$(mktemp -d "${TMPDIR:-/tmp}/kvq-gui-e2e.XXXXXX")
PROG="$TMP/prog"
XVFB_PID=""
APP_PID=""
FAILED=0

stop_pid() {  # pid: TERM, wait a little (bounded), then KILL
    local pid=$1 _
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || return 0
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

cleanup() {
    local rc=$?
    trap - EXIT INT TERM
    if [ -f "$PROG/log.txt" ]; then cp "$PROG/log.txt" "$OUT/log.txt" 2>/dev/null || true; fi
    if [ -f "$TMP/app.out" ]; then cp "$TMP/app.out" "$OUT/program-output.txt" 2>/dev/null || true; fi
    if [ -f "$TMP/xvfb.out" ]; then cp "$TMP/xvfb.out" "$OUT/xvfb-output.txt" 2>/dev/null || true; fi
    stop_pid "$APP_PID"
    stop_pid "$XVFB_PID"
    rm -rf "$TMP"
    local took
    took=$(awk -v s="$START" -v e="$(date +%s.%N)" 'BEGIN { printf "%.1f", e - s }')
    if [ "$rc" -eq 0 ] && [ "$FAILED" -eq 0 ]; then
        echo "PASS gui_e2e (${took} s, output in $OUT)"
    else
        echo "FAIL gui_e2e (exit $rc, ${took} s, output in $OUT)"
        [ "$rc" -eq 0 ] && rc=1
    fi
    exit "$rc"
}
trap cleanup EXIT
trap 'echo "FAIL interrupted or out of time"; exit 124' INT TERM

pass() { echo "PASS $*"; }
fail() {
    echo "FAIL $*"
    FAILED=1
    shot "failure" || true
    list_windows >&2 || true
    exit 1
}

# Polls a condition (a shell command) until it holds or the deadline passes.
wait_for() {  # seconds description command...
    local limit=$1 what=$2
    shift 2
    local end=$(($(date +%s) + limit))
    until "$@"; do
        [ "$(date +%s)" -lt "$end" ] || { echo "  timed out after ${limit} s waiting for: $what" >&2; return 1; }
        sleep 0.1
    done
}

# The program's texts, by number, from its own text file (GBK).
itext() {
    iconv -f GBK -t UTF-8 "$DEMO/itext.ini" | tr -d '\r' | sed -n "s/^$1=//p" | head -n 1
}
T_IDENTIFIED=$(itext 73)     # logged when a chip is identified
T_LOADED=$(itext 189)        # file loaded
T_ERASED=$(itext 60)
T_PROGRAMMED=$(itext 51)
T_VERIFIED=$(itext 87)
T_ALL_OK=$(itext 95)         # the automatic sequence's last word
T_READ_DONE=$(itext 78)
T_BOX_TITLE=$(itext 9)       # title of information boxes
for t in T_IDENTIFIED T_LOADED T_ERASED T_PROGRAMMED T_VERIFIED T_ALL_OK T_READ_DONE T_BOX_TITLE; do
    [ -n "${!t}" ] || fail "setup: text for $t not found in itext.ini"
done

log_lines() { tr -d '\r' < "$PROG/log.txt" 2>/dev/null || true; }
log_count() { log_lines | grep -cF -- "$1" || true; }
log_has_more() { [ "$(log_count "$1")" -gt "$2" ]; }
# Line number of the first line holding $1 after line $2 (empty if none).
log_line_after() { log_lines | awk -v t="$1" -v n="$2" 'NR > n && index($0, t) { print NR; exit }'; }

list_windows() {
    local w
    echo "  visible windows:"
    for w in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
        echo "    $w '$(xdotool getwindowname "$w" 2>/dev/null)'"
    done
}

SHOT_N=0
shot() {  # name: root screenshot and, if it is up, one of the main window
    SHOT_N=$((SHOT_N + 1))
    local base
    base=$(printf '%s/%02d-%s' "$OUT" "$SHOT_N" "$1")
    import -window root "$base-screen.png"
    if [ -n "${MAIN:-}" ] && xwininfo -id "$MAIN" >/dev/null 2>&1; then
        import -window "$MAIN" "$base-window.png"
    fi
}

check_shot() {  # file width height
    local got
    got=$(identify -format '%wx%h' "$1" 2>/dev/null) || fail "screenshot $1 is not a readable image"
    [ "$got" = "$2x$3" ] || fail "screenshot $1 is $got, expected $2x$3"
}

visible_box() { xdotool search --onlyvisible --name "^${T_BOX_TITLE}\$" 2>/dev/null | head -n 1; }
no_box() { [ -z "$(visible_box)" ]; }
box_up() { [ -n "$(visible_box)" ]; }
focused_is() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }

# Gives the main window the keyboard and presses keys (real XTEST input).
press_in_main() {
    no_box || fail "a '$T_BOX_TITLE' box is open before pressing $*"
    xdotool windowfocus --sync "$MAIN"
    wait_for 5 "focus on the main window" focused_is "$MAIN" || fail "main window does not get the focus"
    xdotool key "$@"
}

sim_status() { (cd "$PROG" && ./kvq-sim status 2>&1); }
sim_idle() { sim_status | grep -q '^programmer 1: plugged.*, idle, session none'; }

# 1. A fresh program folder, its own HOME, the demo device set up to be instant.
mkdir -p "$PROG" "$TMP/home" "$TMP/run"
chmod 700 "$TMP/run"
for f in kvq_nyra rwb_mod.so kvq-sim database.dat ftext.ini itext.ini; do
    cp -p "$DEMO/$f" "$PROG/"
done
for d in CODE sound lang; do
    [ -d "$DEMO/$d" ] && cp -rp "$DEMO/$d" "$PROG/"
done
cat > "$PROG/kvq-sim.conf" <<EOF
programmers=1
chip=$CHIP
image=sim-chip.bin
timing=0
control=$TMP/run/sim.sock
EOF
# Extra device settings, e.g. a fault, to see the test catch it:
# GUI_E2E_SIM_EXTRA='fault.pull_chip_after=100000'
if [ -n "${GUI_E2E_SIM_EXTRA:-}" ]; then
    printf '%s\n' "$GUI_E2E_SIM_EXTRA" >> "$PROG/kvq-sim.conf"
fi
# The chip starts full of noise, so the erase shows in what is left after the image.
head -c "$CHIP_BYTES" /dev/urandom > "$PROG/sim-chip.bin"
head -c "$IMAGE_BYTES" /dev/urandom > "$TMP/image.bin"
cp "$PROG/sim-chip.bin" "$TMP/chip-before.bin"
export HOME="$TMP/home" XDG_RUNTIME_DIR="$TMP/run" XDG_CONFIG_HOME="$TMP/home/.config"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset NYRA_SIM_CONFIG SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS || true
pass "setup: fresh folder $PROG, chip $CHIP, ${IMAGE_BYTES}-byte test image"

# 2. A virtual screen on a free display number, then the program.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    3>"$TMP/display" >"$TMP/xvfb.out" 2>&1 &
XVFB_PID=$!
display_known() { [ -s "$TMP/display" ] && grep -q '^[0-9]' "$TMP/display"; }
wait_for 10 "Xvfb to start" display_known || fail "Xvfb did not start"
DISPLAY=":$(head -n 1 "$TMP/display" | tr -dc 0-9)"
export DISPLAY
wait_for 10 "the display to answer" xwininfo -root >/dev/null 2>&1 || fail "display $DISPLAY does not answer"
pass "Xvfb on $DISPLAY"
# The pointer goes to the bottom right, outside the window, so nothing hovers.
xdotool mousemove 1279 1023

(cd "$PROG" && exec ./kvq_nyra) >"$TMP/app.out" 2>&1 &
APP_PID=$!
main_window() { xdotool search --onlyvisible --name "^${TITLE}" 2>/dev/null | head -n 1; }
main_up() {
    kill -0 "$APP_PID" 2>/dev/null || fail "the program exited at start-up"
    MAIN=$(main_window)
    [ -n "$MAIN" ] && xwininfo -id "$MAIN" | grep -q 'Map State: IsViewable'
}
wait_for "$WAIT" "the main window" main_up || fail "main window '$TITLE' did not appear"
pass "main window $MAIN mapped: '$(xdotool getwindowname "$MAIN")'"

# The program identifies the chip by itself at start-up; let that finish.
wait_for "$WAIT" "start-up identification" log_has_more "$T_IDENTIFIED" 0 \
    || fail "no identification at start-up"
wait_for "$WAIT" "the device to be idle" sim_idle || fail "device not idle: $(sim_status)"

# 3a. Detect: F5 logs the identification and shows a box saying so.
before=$(log_count "$T_IDENTIFIED")
detect_from=$(log_lines | awk 'END { print NR }')
press_in_main F5
wait_for "$WAIT" "the detect line in log.txt" log_has_more "$T_IDENTIFIED" "$before" \
    || fail "detect: no '$T_IDENTIFIED' line after F5"
wait_for "$WAIT" "the '$T_BOX_TITLE' box after detect" box_up || fail "detect: no result box"
[ "$(xdotool search --onlyvisible --name '.' | wc -l)" -eq 2 ] \
    || fail "detect: other windows besides the main window and its box"
shot "after-detect"
box=$(visible_box)
xdotool windowfocus --sync "$box"
wait_for 5 "focus on the box" focused_is "$box" || fail "detect: the box does not get the focus"
xdotool key Return
wait_for "$WAIT" "the box to close" no_box || fail "detect: Enter did not close the box"
pass "detect (F5): '$T_IDENTIFIED' logged, box answered"

# 3b. Open the image through the file dialog (Ctrl+O = browse).
loaded_before=$(log_count "$T_LOADED")
press_in_main ctrl+o
open_dialog() { xdotool search --onlyvisible --name '.' 2>/dev/null | grep -vx "$MAIN" | head -n 1; }
dialog_up() { DIALOG=$(open_dialog); [ -n "$DIALOG" ]; }
wait_for "$WAIT" "the file dialog" dialog_up || fail "open: no file dialog after Ctrl+O"
xdotool windowfocus --sync "$DIALOG"
wait_for 5 "focus on the file dialog" focused_is "$DIALOG" || fail "open: dialog does not get the focus"
xdotool type --delay 10 -- "$TMP/image.bin"
xdotool key Return
dialog_gone() { ! xwininfo -id "$DIALOG" 2>/dev/null | grep -q 'Map State: IsViewable'; }
wait_for "$WAIT" "the file dialog to close" dialog_gone || fail "open: the dialog stayed open"
wait_for "$WAIT" "the load line" log_has_more "$T_LOADED" "$loaded_before" \
    || fail "open: no '$T_LOADED' line"
title_has_file() { xdotool getwindowname "$MAIN" | grep -qF 'image.bin'; }
wait_for "$WAIT" "the title to name the file" title_has_file || fail "open: title does not name image.bin"
pass "open (Ctrl+O, file dialog): '$(xdotool getwindowname "$MAIN")'"

# 3c. The automatic sequence: erase, program, verify.
before=$(log_count "$T_ALL_OK")
press_in_main F9
auto_done() { log_has_more "$T_ALL_OK" "$before" || ! no_box; }
wait_for "$WAIT" "the automatic sequence to finish" auto_done || fail "auto: no '$T_ALL_OK' line"
no_box || fail "auto: a box came up: $(list_windows)"
wait_for "$WAIT" "the device to be idle" sim_idle || fail "auto: device not idle: $(sim_status)"
shot "after-auto"
pass "auto (F9): '$(log_lines | grep -F -- "$T_ALL_OK" | tail -n 1 | cut -f 2)'"

# 3d. Read the chip.
before=$(log_count "$T_READ_DONE")
press_in_main F7
read_done() { log_has_more "$T_READ_DONE" "$before" || ! no_box; }
wait_for "$WAIT" "the read to finish" read_done || fail "read: no '$T_READ_DONE' line"
no_box || fail "read: a box came up: $(list_windows)"
wait_for "$WAIT" "the device to be idle" sim_idle || fail "read: device not idle: $(sim_status)"
read_file_done() { [ "$(stat -c %s "$PROG/u_mod0.dll" 2>/dev/null || echo 0)" -eq "$CHIP_BYTES" ]; }
wait_for "$WAIT" "the read image u_mod0.dll" read_file_done || fail "read: u_mod0.dll is not $CHIP_BYTES bytes"
shot "end"
pass "read (F7): '$T_READ_DONE' logged"

# 4. Checks.
# The log: detect, load, erase, program, verify, all done, read, in this order.
n=$detect_from
for t in "$T_IDENTIFIED" "$T_LOADED" "$T_ERASED" "$T_PROGRAMMED $IMAGE_BYTES byte" "$T_VERIFIED" "$T_ALL_OK" "$T_READ_DONE"; do
    m=$(log_line_after "$t" "$n")
    [ -n "$m" ] || fail "log: '$t' missing after line $n"
    n=$m
done
pass "log.txt: detect, load, erase, program ($IMAGE_BYTES bytes), verify, auto done, read, in order"

# The chip: the image at address 0, erased (0xFF) behind it.
[ "$(stat -c %s "$PROG/sim-chip.bin")" -eq "$CHIP_BYTES" ] || fail "chip image is not $CHIP_BYTES bytes"
cmp -n "$IMAGE_BYTES" "$TMP/image.bin" "$PROG/sim-chip.bin" || fail "chip does not hold the test image at 0"
rest=$(tail -c +$((IMAGE_BYTES + 1)) "$PROG/sim-chip.bin" | LC_ALL=C tr -d '\377' | wc -c)
[ "$rest" -eq 0 ] || fail "chip: $rest bytes after the image are not 0xFF"
cmp -s "$TMP/chip-before.bin" "$PROG/sim-chip.bin" && fail "chip unchanged"
pass "chip: test image at 0, 0xFF up to $CHIP_BYTES"

# What was read back is the chip.
cmp "$PROG/u_mod0.dll" "$PROG/sim-chip.bin" || fail "read image differs from the chip"
pass "read image u_mod0.dll equals the chip"

# Screenshots: the screen's and the window's sizes.
geom=$(xwininfo -id "$MAIN")
win_w=$(awk '/^ *Width:/ { print $2 }' <<<"$geom")
win_h=$(awk '/^ *Height:/ { print $2 }' <<<"$geom")
for s in after-detect after-auto end; do
    f=$(ls "$OUT"/[0-9][0-9]-"$s"-screen.png)
    check_shot "$f" 1280 1024
    check_shot "${f%-screen.png}-window.png" "$win_w" "$win_h"
done
pass "screenshots: screen 1280x1024, window ${win_w}x${win_h}"

kill -0 "$APP_PID" 2>/dev/null || fail "the program is gone"
pass "program still running"
