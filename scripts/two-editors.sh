#!/bin/sh
# Two editors on one X server, sharing its clipboard, driven by xdotool as a
# teacher would: three questions of the demo test copied into a new test, one
# dragged back to another place, a row dragged to another place within a list,
# both saved. Then both files are dumped with qe2tool. Screenshots go to $SHOTS.
# Usage: scripts/two-editors.sh   (BUILD_DIR, SHOTS, WORK may be set)
# Needs Xvfb, xdotool and ImageMagick's import.
set -eu
cd "$(dirname "$0")/.."
B=${BUILD_DIR:-build}
SHOTS=${SHOTS:-/tmp/two-editors-shots}
WORK=${WORK:-$(mktemp -d)}
DISP=${DISP:-:57}
mkdir -p "$SHOTS" "$WORK"
"$B/bin/qe2tool" config --password demo "$B/bin/KMQuizEngine2.ini" >/dev/null
cp "$B/examples/demo.qe2" "$WORK/demo.qe2"
rm -f "$WORK/new.qe2"

Xvfb "$DISP" -screen 0 1600x700x24 -nolisten tcp >/dev/null 2>&1 &
XPID=$!
trap 'rc=$?; set +e; kill $APID $BPID 2>/dev/null; kill $XPID 2>/dev/null; exit $rc' EXIT
export DISPLAY=$DISP
sleep 1

shot() { import -window root "$SHOTS/$1.png"; }
# Waits for a window of the editor of that process and prints its id.
window_of() {
  for _ in $(seq 1 100); do
    id=$(xdotool search --all --onlyvisible --pid "$1" --name ") - Редактор тестов" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  echo "no editor window for $1" >&2
  return 1
}

export QE_PASSWORD_REPLY=demo
QE_EDITOR_SETTINGS="$WORK/a.ini" "$B/bin/Quizwright" "$WORK/demo.qe2" &
APID=$!
QE_EDITOR_SETTINGS="$WORK/b.ini" "$B/bin/Quizwright" &
BPID=$!
# Past the splash and the password, the main windows are the visible ones.
sleep 5
WA=$(window_of $APID)
WB=$(window_of $BPID)
xdotool windowmove "$WA" 0 0 windowsize "$WA" 790 680
xdotool windowmove "$WB" 800 0 windowsize "$WB" 790 680
sleep 1

# Rows of the list: the list's top left inside each window, and the row height.
LIST_X=${LIST_X:-40}
LIST_Y=${LIST_Y:-86}
ROW_H=${ROW_H:-18}
row_y() { echo $((LIST_Y + $1 * ROW_H + ROW_H / 2)); }

click() { xdotool mousemove "$1" "$2" click 1; sleep 0.4; }
drag() {  # x1 y1 x2 y2 [KEY]: press, KEY held from then on, move in steps, release
  xdotool mousemove "$1" "$2" mousedown 1
  [ -n "${5:-}" ] && xdotool keydown "$5"
  sleep 0.3
  steps=12
  i=1
  while [ $i -le $steps ]; do
    x=$(( $1 + ($3 - $1) * i / steps )); y=$(( $2 + ($4 - $2) * i / steps ))
    xdotool mousemove "$x" "$y"
    sleep 0.08
    i=$((i + 1))
  done
  sleep 0.4
  [ -n "${MIDSHOT:-}" ] && shot "$MIDSHOT"
  xdotool mouseup 1
  [ -n "${5:-}" ] && xdotool keyup "$5"
  sleep 1
}

shot c10-01-two-editors
# Three questions of the demo test, rows 3 to 5 (one with a title and a picture).
click $LIST_X "$(row_y 3)"
xdotool keydown shift; click $LIST_X "$(row_y 5)"; xdotool keyup shift
xdotool key ctrl+c
sleep 0.5
shot c10-02-copied
# Into the new test.
click $((800 + LIST_X)) "$(row_y 0)"
xdotool key ctrl+v
sleep 1
shot c10-03-pasted
# One of them dragged back into the demo test, before its first row (a copy).
drag $((800 + LIST_X)) "$(row_y 1)" $LIST_X $((LIST_Y + 2))
shot c10-04-dragged-back
# Within the new test: its first row moved to just above its third.
MIDSHOT=c10-05a-insertion-line drag $((800 + LIST_X)) "$(row_y 0)" $((800 + LIST_X)) $((LIST_Y + 2 * ROW_H + 2))
shot c10-05-reordered
# With Shift a move between editors: the demo test's row 8 goes to the top of the new test.
click $LIST_X "$(row_y 8)"
drag $LIST_X "$(row_y 8)" $((800 + LIST_X)) $((LIST_Y + 2)) shift
shot c10-05b-moved-out

# Both saved: the demo test in place, the new one through the save dialog.
xdotool windowfocus --sync "$WA" 2>/dev/null || true
click $LIST_X "$(row_y 0)"
xdotool key ctrl+s
sleep 1.5
click $((800 + LIST_X)) "$(row_y 0)"
xdotool key ctrl+s
sleep 1.5
shot c10-06-save-dialog
xdotool type --delay 30 "$WORK/new.qe2"
xdotool key Return
sleep 2
shot c10-07-saved

echo "== demo test"
"$B/bin/qe2tool" dump "$WORK/demo.qe2" | python3 -c 'import json,sys; d=json.load(sys.stdin); [print(q["index"], q["plainLines"][:1], q["marks"], q["hasComment"], q["title"]) for q in d["questions"]]'
echo "== new test"
"$B/bin/qe2tool" dump "$WORK/new.qe2" | python3 -c 'import json,sys; d=json.load(sys.stdin); [print(q["index"], q["plainLines"][:1], q["marks"], q["hasComment"], q["title"]) for q in d["questions"]]'
# Each question record byte for byte: moved questions keep their hashes.
python3 scripts/qe2-records.py "$B/examples/demo.qe2" "$WORK/demo.qe2" "$WORK/new.qe2"
echo "work folder: $WORK, screenshots: $SHOTS"
