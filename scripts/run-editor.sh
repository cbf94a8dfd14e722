#!/bin/sh
# Builds, writes a demo configuration beside the editor with the access
# password it prints, then starts the editor on the demo test.
set -eu
cd "$(dirname "$0")/.."
sh scripts/build.sh
B=${BUILD_DIR:-build}
PASSWORD=${EDITOR_PASSWORD:-demo}
"$B/bin/qe2tool" config --password "$PASSWORD" "$B/bin/KMQuizEngine2.ini" >/dev/null
echo "Access password of the editor: $PASSWORD"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$B/bin/Quizwright" "$B/examples/demo.qe2"
fi
exec "$B/bin/Quizwright" "$B/examples/demo.qe2"
