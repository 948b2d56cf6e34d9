#!/usr/bin/env bash
# Quorbel developer entry point.
#   ./dev.sh test         install what is missing, build, run every test headless
#   ./dev.sh run [ARGS]   install what is missing, build, start quorbel-ide on the demo
#   ./dev.sh tsan         build with ThreadSanitizer and run the threaded tests
#   ./dev.sh bench        build and run the programs under bench/
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
BUILD=${QUORBEL_BUILD:-$ROOT/build}

PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite
          libgl-dev libgtest-dev googletest xvfb xauth universal-ctags)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    if [ "$(id -u)" -ne 0 ]; then
      echo "Missing packages: ${missing[*]} (run as root, or install them)" >&2
      exit 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}"
  fi
}

build() { # build DIR [cmake options]
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}

cmd=${1:-test}; shift || true
case "$cmd" in
  test)
    install_packages
    build "$BUILD"
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$BUILD" --output-on-failure -j "$(nproc)" --timeout 300 "$@"
    ;;
  tsan)
    install_packages
    build "$ROOT/build-tsan" -DQUORBEL_TSAN=ON
    # tsan.supp: Qt is not built with the sanitizer, so hand-overs inside Qt
    # (futex-based QMutex) look like races; it ignores Qt's own memory
    # operations only.
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$ROOT/tsan.supp" QT_QPA_PLATFORM=offscreen \
      ctest --test-dir "$ROOT/build-tsan" --output-on-failure -R "${1:-Browser|Scan|Thread}"
    ;;
  bench)
    PACKAGES+=(fpc-source) # real Pascal sources for the scanner's throughput check
    install_packages
    build "$BUILD"
    for b in "$BUILD"/bin/bench_*; do echo "== $(basename "$b")"; "$b"; done
    ;;
  run)
    install_packages
    build "$BUILD"
    exec "$ROOT/scripts/run-ide.sh" "$BUILD" "$@"
    ;;
  *)
    sed -n '2,6p' "$0"; exit 2 ;;
esac
