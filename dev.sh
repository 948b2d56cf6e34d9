#!/usr/bin/env bash
# Quorbel developer entry point.
#   ./dev.sh test         install what is missing, build, run every test headless,
#                         then each fuzz target for a few seconds
#   ./dev.sh run [ARGS]   install what is missing, build, start quorbel-ide on the demo
#   ./dev.sh tsan         build with ThreadSanitizer and run the threaded tests
#   ./dev.sh bench        build and run the programs under bench/
#   ./dev.sh fuzz [TARGET|all] [SECONDS]   build tests/fuzz with clang and run each target
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
BUILD=${QUORBEL_BUILD:-$ROOT/build}

PACKAGES=(cmake fpc ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite # tests and bench peers read tables through QtSql
          libgl-dev libgtest-dev googletest xvfb xauth universal-ctags
          binutils-mingw-w64-x86-64 cpp # windres and ld: the resource compiler and Windows files
          binutils-mingw-w64-i686 # windres and ld for dcc32's 32-bit language libraries
          libsqlite3-dev # the table store: the sqlite3 C API
          gcc-mingw-w64-x86-64 gcc-mingw-w64-i686 # quorbel-verinfo's tests build real programs and libraries
          wine64 python3-pefile # ... run them under Wine, and read them back with a second reader
          gettext # msgfmt, msginit, msgmerge and msgcat: the .po tests' and bench's peers
          # the shell's open of App.hlp: xdg-open, the *.hlp type, and the look-up
          # by name that xdg-open needs outside a desktop (else an .hlp is HTML to it)
          xdg-utils shared-mime-info libfile-mimeinfo-perl)

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

FUZZ_PACKAGES=(clang libclang-rt-14-dev) # the compiler and libFuzzer's runtime

run_fuzz() { # run_fuzz [TARGET|all] [SECONDS]
  local which=${1:-all} seconds=${2:-10} f t work
  local targets=() failed=()
  if [ "$which" = all ]; then
    for f in "$ROOT"/tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
  else
    targets=("$which")
  fi
  local FUZZ_BUILD=$ROOT/build-fuzz
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$FUZZ_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORBEL_FUZZ=ON >/dev/null
  cmake --build "$FUZZ_BUILD" -j "$(nproc)" -t "${targets[@]}"
  mkdir -p "$FUZZ_BUILD/findings"
  for t in "${targets[@]}"; do
    # A copy: the run adds what it finds to the corpus it is given.
    work=$(mktemp -d)
    if [ -d "$ROOT/tests/fuzz/corpus/$t" ]; then cp -r "$ROOT/tests/fuzz/corpus/$t/." "$work/"; fi
    echo "== $t for ${seconds}s"
    # No allocation stacks by default: ASan's fast unwinder reads junk frames
    # through Qt (built without frame pointers), so nearly every allocation
    # stack is new and its stack store grew ~1 KB per run, past libFuzzer's
    # 2 GB limit after 2 M runs. To see where a finding's memory came from,
    # rerun its input with ASAN_OPTIONS=malloc_context_size=30:fast_unwind_on_malloc=0.
    if ! (cd "$work" && QT_QPA_PLATFORM=offscreen UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
          ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=0} \
          "$FUZZ_BUILD/bin/$t" -max_total_time="$seconds" -print_final_stats=1 \
          -artifact_prefix="$FUZZ_BUILD/findings/$t-" "$work"); then
      failed+=("$t")
    fi
    rm -rf "$work"
  done
  if ((${#failed[@]})); then
    echo "Findings in: ${failed[*]} (inputs under $FUZZ_BUILD/findings)" >&2
    exit 1
  fi
}

cmd=${1:-test}; shift || true
case "$cmd" in
  test)
    PACKAGES+=("${FUZZ_PACKAGES[@]}")
    install_packages
    build "$BUILD"
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$BUILD" --output-on-failure -j "$(nproc)" --timeout 300 "$@"
    # A few seconds per fuzz target: they keep building and their properties hold.
    run_fuzz all 5
    ;;
  tsan)
    install_packages
    # Only the programs that hold the threaded tests: the browser's scans are
    # the one place work leaves the UI thread.
    cmake -S "$ROOT" -B "$ROOT/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORBEL_TSAN=ON >/dev/null
    cmake --build "$ROOT/build-tsan" -j "$(nproc)" -t test_addin_browser test_addin_core
    # tsan.supp: Qt is not built with the sanitizer, so hand-overs inside Qt
    # (futex-based QMutex) look like races; it ignores Qt's own memory
    # operations only.
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$ROOT/tsan.supp" QT_QPA_PLATFORM=offscreen \
      ctest --test-dir "$ROOT/build-tsan" --output-on-failure --no-tests=error -R "${1:-Browser|Scan|Thread}" -E NOT_BUILT
    ;;
  bench)
    PACKAGES+=(fpc-source # real Pascal sources for the scanner's throughput check
              unrtf) # the help compiler's peer: its HTML conversion of the same document
    # npm installs resedit, quorbel-verinfo's peer; a Node.js of its own may bring npm.
    command -v npm >/dev/null || PACKAGES+=(npm)
    install_packages
    build "$BUILD"
    # resedit into the build tree, where bench_verinfo looks; not committed.
    [ -e "$BUILD/bench-node/node_modules/resedit" ] ||
      (mkdir -p "$BUILD/bench-node" && cd "$BUILD/bench-node" && npm install --no-audit --no-fund resedit) ||
      echo "npm install resedit failed: bench_verinfo runs without its peer" >&2
    for b in "$BUILD"/bin/bench_*; do echo "== $(basename "$b")"; "$b"; done
    ;;
  fuzz)
    PACKAGES+=("${FUZZ_PACKAGES[@]}")
    install_packages
    run_fuzz "$@"
    ;;
  run)
    install_packages
    build "$BUILD"
    # Help files open in this build's quorbel-help (never stops the run).
    "$ROOT/scripts/install-help-viewer.sh" "$BUILD" || true
    exec "$ROOT/scripts/run-ide.sh" "$BUILD" "$@"
    ;;
  *)
    sed -n '2,6p' "$0"; exit 2 ;;
esac
