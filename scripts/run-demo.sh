#!/bin/sh
# Builds, then starts the player on the demo test as the launcher would.
set -eu
cd "$(dirname "$0")/.."
sh scripts/build.sh
B=${BUILD_DIR:-build}
RES=${RESULTS:-$B/demo-results.res}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$B/bin/Quizrunner" KMQuizdispatch "$B/examples/demo.qe2" "$RES"
fi
exec "$B/bin/Quizrunner" KMQuizdispatch "$B/examples/demo.qe2" "$RES"
