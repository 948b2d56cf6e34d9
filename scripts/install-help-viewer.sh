#!/usr/bin/env bash
# Makes the built quorbel-help the user's program for help files
# (application/winhlp, *.hlp), so the shell's open (xdg-open App.hlp) starts
# it; installs quorbel-ide's desktop entry too, and the icons both entries
# name. Safe to run again; without xdg-utils it installs the entries and
# says how to finish, and still succeeds.
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

DATA=${XDG_DATA_HOME:-$HOME/.local/share}
APPS=$DATA/applications
ICONS=$DATA/icons/hicolor/32x32/apps
mkdir -p "$APPS" "$ICONS"

# install FILE DIR: rewritten only when it changed (another build, say).
install_file() {
  local target=$2/$(basename "$1")
  [ -f "$1" ] || return 1
  cmp -s "$1" "$target" && return 1
  cp "$1" "$target.tmp" && mv "$target.tmp" "$target" && echo "Installed $target"
}

# The icons first: an entry that comes up names them.
icons_changed=
for icon in quorbel-help quorbel-ide; do
  install_file "$BUILD/share/icons/hicolor/32x32/apps/$icon.png" "$ICONS" && icons_changed=1
done
if [ -n "$icons_changed" ] && command -v gtk-update-icon-cache >/dev/null 2>&1 \
   && [ -f "$DATA/icons/hicolor/index.theme" ]; then
  gtk-update-icon-cache -q "$DATA/icons/hicolor" >/dev/null 2>&1 || true
fi
entries_changed=
install_file "$ENTRY" "$APPS" && entries_changed=1
install_file "$BUILD/share/applications/quorbel-ide.desktop" "$APPS" && entries_changed=1
if [ -n "$entries_changed" ] && command -v update-desktop-database >/dev/null 2>&1; then
  update-desktop-database "$APPS" >/dev/null 2>&1 || true
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
