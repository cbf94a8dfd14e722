#!/bin/sh
# The editor's recovery, driven by xdotool as a teacher would: the demo test
# edited, the editor killed with kill -9, started again, the copy recovered and
# saved; then one test open in two editors, saved in one, and the question
# the other asks before it overwrites. Screenshots go to $SHOTS.
# Usage: scripts/recovery-check.sh   (BUILD_DIR, SHOTS, WORK, DISP may be set)
# Needs Xvfb, openbox, xdotool and ImageMagick's import.
set -eu
cd "$(dirname "$0")/.."
B=${BUILD_DIR:-build}
SHOTS=${SHOTS:-/tmp/recovery-shots}
WORK=${WORK:-$(mktemp -d)}
DISP=${DISP:-:58}
mkdir -p "$SHOTS" "$WORK"
"$B/bin/qe2tool" config --password demo "$B/bin/KMQuizEngine2.ini" >/dev/null
cp "$B/examples/demo.qe2" "$WORK/demo.qe2"
export XDG_STATE_HOME="$WORK/state"
export QE_EDITOR_SETTINGS="$WORK/editor.ini"
export QE_PASSWORD_REPLY=demo
REC="$XDG_STATE_HOME/quizengine2/recovery"
APID=; BPID=

Xvfb "$DISP" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
XPID=$!
trap 'rc=$?; set +e; [ -n "$APID" ] && kill $APID 2>/dev/null; [ -n "$BPID" ] && kill $BPID 2>/dev/null; kill $WMPID $XPID 2>/dev/null; exit $rc' EXIT
export DISPLAY=$DISP
sleep 1
openbox >/dev/null 2>&1 &
WMPID=$!
sleep 1

shot() { import -window root "$SHOTS/$1.png"; }
window_of() {  # PID NAME: the id of a visible window of that process
  for _ in $(seq 1 100); do
    id=$(xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  echo "no window \"$2\" of $1" >&2
  return 1
}
texts() { "$B/bin/qe2tool" dump "$1" | grep -o "$2" | wc -l; }

# 1. Editing for a while, then killed.
"$B/bin/Quizwright" "$WORK/demo.qe2" &
APID=$!
WA=$(window_of $APID " - Редактор тестов")
xdotool windowmove "$WA" 0 0 windowsize "$WA" 900 650
sleep 1
sleep 0.5
# The first question's text, typed at its end.
xdotool mousemove 60 100 click 1; sleep 0.3
xdotool mousemove 500 200 click 1; sleep 0.3
xdotool key ctrl+End; xdotool type --delay 60 " typed before the crash"
sleep 4
shot 1-edited
ls -l "$REC" > "$SHOTS/1-recovery-folder.txt"
kill -9 $APID; wait $APID 2>/dev/null || true; APID=
echo "killed; copies: $(ls "$REC" | tr '\n' ' ')"

# 2. Started again: the copy is offered, opened and saved.
"$B/bin/Quizwright" &
APID=$!
WR=$(window_of $APID "Восстановление тестов")
sleep 0.5
shot 2-offered
xdotool windowactivate --sync "$WR" key Return
sleep 1.5
WA=$(window_of $APID " - Редактор тестов")
shot 3-recovered
xdotool windowactivate --sync "$WA" key ctrl+s
sleep 2
shot 4-saved
echo "recovered text in the saved test: $(texts "$WORK/demo.qe2" "typed before the crash")"
xdotool windowactivate --sync "$WA" key alt+F4 2>/dev/null || true
sleep 1
kill $APID 2>/dev/null || true; wait $APID 2>/dev/null || true; APID=
echo "copies left: $(ls "$REC" | grep -c -v lock || true)"

# 3. Two editors on one test: saved in A, then B asks before it overwrites.
"$B/bin/Quizwright" "$WORK/demo.qe2" &
APID=$!
QE_EDITOR_SETTINGS="$WORK/b.ini" "$B/bin/Quizwright" "$WORK/demo.qe2" &
BPID=$!
WA=$(window_of $APID " - Редактор тестов")
WB=$(window_of $BPID " - Редактор тестов")
for w in "$WA" "$WB"; do xdotool windowstate --remove MAXIMIZED_VERT,MAXIMIZED_HORZ "$w" 2>/dev/null || true; done
sleep 0.5
xdotool windowmove "$WA" 0 0 windowsize "$WA" 630 600
xdotool windowmove "$WB" 640 0 windowsize "$WB" 630 600
sleep 1
xdotool windowactivate --sync "$WA"; xdotool mousemove 400 200 click 1; sleep 0.3
xdotool key ctrl+End; xdotool type --delay 40 " (A)"; sleep 1; xdotool key ctrl+s
sleep 2
xdotool windowactivate --sync "$WB"; xdotool mousemove 1040 200 click 1; sleep 0.3
xdotool key ctrl+End; xdotool type --delay 40 " (B)"; sleep 1; xdotool key ctrl+s
sleep 2
shot 5-question
WQ=$(window_of $BPID "Внимание!")
xdotool windowactivate --sync "$WQ" key Escape
sleep 1
shot 6-declined
echo "after A's save and B's refusal: A's mark $(texts "$WORK/demo.qe2" "(A)"), B's mark $(texts "$WORK/demo.qe2" "(B)")"
