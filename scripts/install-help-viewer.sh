#!/usr/bin/env bash
# Makes the built quorbel-help the user's program for help files
# (application/winhlp, *.hlp), so the shell's open (xdg-open App.hlp) starts
# it. Safe to run again; without xdg-utils it installs the entry and says
# how to finish, and still succeeds.
#   scripts/install-help-viewer.sh BUILD
set -uo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD" >&2
  exit 2
fi
BUILD=$(cd "$1" && pwd) || exit 1
ENTRY=$BUILD/share/applications/quorbel-help.desktop
if [ ! -f "$ENTRY" ] || [ ! -x "$BUILD/bin/quorbel-help" ]; then
  echo "No quorbel-help or its desktop entry in $BUILD: build first." >&2
  exit 1
fi

APPS=${XDG_DATA_HOME:-$HOME/.local/share}/applications
mkdir -p "$APPS"
# Rewritten only when it changed (another build directory, say).
if ! cmp -s "$ENTRY" "$APPS/quorbel-help.desktop"; then
  cp "$ENTRY" "$APPS/quorbel-help.desktop.tmp" && mv "$APPS/quorbel-help.desktop.tmp" "$APPS/quorbel-help.desktop"
  echo "Installed $APPS/quorbel-help.desktop"
  if command -v update-desktop-database >/dev/null 2>&1; then
    update-desktop-database "$APPS" >/dev/null 2>&1 || true
  fi
fi

if ! command -v xdg-mime >/dev/null 2>&1; then
  echo "xdg-utils is not installed: help files are not yet opened with quorbel-help." >&2
  echo "Install it (apt-get install xdg-utils) and run: xdg-mime default quorbel-help.desktop application/winhlp" >&2
  exit 0
fi
# Set even when it is the only program for the type today: another may come.
if ! xdg-mime default quorbel-help.desktop application/winhlp; then
  echo "xdg-mime could not make quorbel-help the program for help files." >&2
fi
exit 0
