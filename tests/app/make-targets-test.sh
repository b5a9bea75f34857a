#!/usr/bin/env bash
# The Makefile as a user meets it: `make run` keeps the catalogs in the user's data folder and
# leaves nothing beside the program in the build folder; `make clean` never deletes a build
# folder that holds catalogs.  Arguments: the source folder and the build folder.
set -u
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
tmp=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill -KILL -- "-$pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# ---- make run
# Without the test's own sandbox setting: run as root (as CI runs) the program itself must let
# the web engine start.
before=$(ls -A "$build/bin")
data="$tmp/data"
env -u MORVANEL_PROGRAM_DIR -u QTWEBENGINE_DISABLE_SANDBOX XDG_DATA_HOME="$data" XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=offscreen JOBS=2 \
  setsid make -C "$src" run BUILD="$build" >"$tmp/run.log" 2>&1 </dev/null &
pid=$!
prog="$data/Morvanel"
# `make run` first brings the build up to date (and configures again when CMake asks for it),
# which on a loaded two-core machine takes far longer than the start itself: wait for the
# program's catalog, or for make to give up, well within ctest's own limit.
deadline=$((SECONDS + 420))
while [ ! -e "$prog/Project1/Menue_ind" ] && [ "$SECONDS" -lt "$deadline" ]; do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
[ -e "$prog/Project1/Menue_ind" ] || fail "the program did not start within 420 s"
# The program handles SIGTERM before it writes its catalog, so the signal is never too early.
# Closed as a logout closes it: the program saves and ends.
kill -TERM -- "-$pid" 2>/dev/null
deadline=$((SECONDS + 120))
while kill -0 -- "-$pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do
  sleep 0.1
done
if kill -0 -- "-$pid" 2>/dev/null; then fail "the program did not end on SIGTERM"; fi
pid=
[ -f "$prog/dir" ] || fail "no \"dir\" in $prog"
[ -d "$prog/Project1" ] || fail "no \"Project1/\" in $prog"
[ -d "$prog/Help" ] || fail "no \"Help/\" in $prog"
after=$(ls -A "$build/bin")
[ "$before" = "$after" ] || fail "build/bin/ changed: $(echo "$after" | tr '\n' ' ')"
if [ "$failures" -gt 0 ]; then sed 's/^/  run: /' "$tmp/run.log" >&2; fi

# ---- make clean, on a copy of the Makefile with build folders of its own
proj="$tmp/proj"
mkdir -p "$proj/build/bin/Project1" "$proj/build-bench/bench" "$proj/build-fuzz"
cp "$src/Makefile" "$proj/"
echo "note" >"$proj/build/bin/Project1/Menue"
if make -s -C "$proj" clean >"$tmp/clean.log" 2>&1; then fail "make clean succeeded with a catalog in build/bin/Project1"; fi
grep -q "build/bin/Project1" "$tmp/clean.log" || fail "make clean did not name build/bin/Project1: $(cat "$tmp/clean.log")"
[ -f "$proj/build/bin/Project1/Menue" ] || fail "make clean deleted the catalog"
[ -d "$proj/build-bench" ] && [ -d "$proj/build-fuzz" ] || fail "make clean deleted other build folders"
rm -rf "$proj/build/bin/Project1"
printf 'Project1\\\r\n' >"$proj/build-bench/bench/dir"
if make -s -C "$proj" clean >"$tmp/clean.log" 2>&1; then fail "make clean succeeded with a \"dir\" file in build-bench"; fi
grep -q "build-bench/bench/dir" "$tmp/clean.log" || fail "make clean did not name build-bench/bench/dir"
rm -f "$proj/build-bench/bench/dir"
make -s -C "$proj" clean >"$tmp/clean.log" 2>&1 || fail "make clean failed without catalogs: $(cat "$tmp/clean.log")"
[ ! -e "$proj/build" ] && [ ! -e "$proj/build-bench" ] && [ ! -e "$proj/build-fuzz" ] || fail "make clean left build folders"
[ -f "$proj/Makefile" ] || fail "make clean removed more than the build folders"

if [ "$failures" -eq 0 ]; then echo "1 passed, 0 failed"; exit 0; fi
echo "0 passed, 1 failed"
exit 1
