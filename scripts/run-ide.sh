#!/usr/bin/env bash
# Starts the built quorbel-ide on the demo project (or on ARGS), with the
# built add-in registered for the current user when none is registered yet.
#   scripts/run-ide.sh BUILD [ARGS...]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD [PROJECT.dpr | FILE.pas ...]" >&2
  exit 2
fi
BUILD=$(cd "$1" && pwd)
shift
IDE=$BUILD/bin/quorbel-ide
ADDIN=$BUILD/lib/libquorbel.so

if [ ! -x "$IDE" ] || [ ! -f "$ADDIN" ]; then
  echo "No quorbel-ide or libquorbel.so in $BUILD: build first (./dev.sh test)." >&2
  exit 1
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<MSG
quorbel-ide is a desktop program and no display is available
(neither DISPLAY nor WAYLAND_DISPLAY is set).
Run it from a desktop session, or under a virtual X server:
  xvfb-run -a -s "-screen 0 1280x800x24" ./dev.sh run
MSG
  exit 2
fi

# The IDE loads every library registered under its Experts key.
registered=$("$IDE" --registered-addin)
if [ -z "$registered" ] || [ ! -f "$registered" ]; then
  "$IDE" --register-addin "$ADDIN"
elif [ "$registered" != "$ADDIN" ]; then
  echo "Using the Quorbel add-in registered at $registered."
  echo "To use this build's instead: $IDE --register-addin $ADDIN"
fi

if [ $# -eq 0 ]; then
  set -- "$ROOT/examples/demo/Demo.dpr"
fi
exec "$IDE" "$@"
