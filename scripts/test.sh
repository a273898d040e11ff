#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through ctest:
#   1. the normal build (gcc, warnings as errors): all tests, the display tests on an Xvfb of
#      their own (never the desktop's display, whose window manager moves windows), and the fuzz
#      targets briefly;
#   2. an ASan/UBSan build (clang): all tests again, fuzz targets as libFuzzer binaries;
#   3. a TSan build (clang) of the tests labelled "threads" only;
#   and in both sanitizer builds the real host with the editor in a window, under a MIDI flood
#   while menus are clicked open and the JACK server restarts (tests/sanitizer/HostRun.cpp),
#   which must end without a report.
# Exits non-zero when anything fails. Set SORVANTA_QUICK=1 to run step 1 only.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# Each phase's time on the way (a CI machine's log shows where the time goes).
started=$SECONDS lapped=$SECONDS
lap() { echo "test.sh: $1 took $((SECONDS - lapped)) s ($((SECONDS - started)) s in all)"; lapped=$SECONDS; }

bash scripts/setup.sh
bash scripts/check_layers.sh
lap "setup and the layer check"
jobs=$(nproc)

xvfb_pid=""
cleanup() { [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
unset DISPLAY XAUTHORITY WAYLAND_DISPLAY GDK_BACKEND
for n in $(seq 90 140); do
  [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 50); do [[ -e /tmp/.X11-unix/X$n ]] && break; sleep 0.1; done
  if [[ -e /tmp/.X11-unix/X$n ]] && kill -0 "$xvfb_pid" 2>/dev/null; then
    export DISPLAY=":$n"
    break
  fi
  xvfb_pid=""  # another server took that number meanwhile
done
[[ -n "${DISPLAY:-}" ]] || { echo "test.sh: no Xvfb could be started" >&2; exit 1; }

# GTK in tests: no accessibility bridge or settings daemon to talk to (both would wait on a session
# bus that CI does not have).
export NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory

# JACK keeps a machine-wide table of servers in /dev/shm. A test server that was killed (a test
# run stopped half-way) leaves its entry there, and once 8 have piled up no jackd will start. With
# no live jackd on the machine every entry is stale, so clear them.
if ! ps -C jackd -o stat= 2>/dev/null | grep -qv '^Z'; then
  rm -rf /dev/shm/jack-shm-registry /dev/shm/jack-[0-9]* /dev/shm/jack_sem.* /dev/shm/jack_db-* 2>/dev/null || true
fi

# Tests never touch a real home: the data folder lives under XDG_DATA_HOME, rescued work under
# XDG_STATE_HOME.
export XDG_DATA_HOME="$root/build/test-home" XDG_STATE_HOME="$root/build/test-home/state"
mkdir -p "$XDG_DATA_HOME"

# Each permission row that ran as a user without privileges adds a line to this file
# (tests/util/Unprivileged.h); a row that cannot run fails when CI=true.
export SORVANTA_UNPRIVILEGED_ROWS="$root/build/test-home/unprivileged-rows"

run_config() {  # dir, label filter, cmake args...
  local dir=$1 filter=$2 status=0; shift 2
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  : >"$SORVANTA_UNPRIVILEGED_ROWS"
  if [[ "$filter" == threads ]]; then
    cmake --build "$dir" -j "$jobs" --target threads_tests
    lap "building $dir"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" -L threads --timeout 600 || status=$?
  else
    cmake --build "$dir" -j "$jobs"
    lap "building $dir"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600 || status=$?
  fi
  echo "test.sh: $(wc -l <"$SORVANTA_UNPRIVILEGED_ROWS") unprivileged rows ran in $dir"
  lap "the tests of $dir"
  return "$status"
}

# The real host program with the editor's bundle under the sanitizer of a build: a window on a
# private X server, a private JACK server and a peer flooding the editor with MIDI while eight
# rounds of clicks open menus. Fails on any report that tests/sanitizer/*.supp does not name.
run_host() {  # dir
  cmake --build "$1" -j "$jobs" --target host_sanitizer_run
  "$1/tests/sanitizer/host_sanitizer_run" "$1/platform/host/sorvanta-host" "$1/Sorvanta.component" 8
  lap "the host run of $1"
}

run_config build all -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWERROR=ON
if [[ "${SORVANTA_QUICK:-0}" != 1 ]]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  CC=clang CXX=clang++ run_config build-asan all -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=address -DBUILD_BENCH=OFF
  run_host build-asan
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  TSAN_OPTIONS="$TSAN_OPTIONS:suppressions=$root/tests/sanitizer/tsan-threads.supp" \
    CC=clang CXX=clang++ run_config build-tsan threads -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=thread -DBUILD_BENCH=OFF
  TSAN_OPTIONS="$TSAN_OPTIONS:suppressions=$root/tests/sanitizer/tsan.supp" run_host build-tsan
fi
echo "test.sh: all configurations passed in $((SECONDS - started)) s"
