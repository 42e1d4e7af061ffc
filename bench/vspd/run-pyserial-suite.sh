#!/usr/bin/env bash
# run-pyserial-suite.sh BUILD_DIR [ROUNDS]: pyserial 3.5's own tests that take a port name,
# run ROUNDS times (default 5) against (a) a veltro-vspd COM link whose port is a TCP client
# of a socat echo peer on 127.0.0.1 and (b) a plain pty that socat loops back through cat.
# Both are loopbacks, which is what these tests expect. pyserial 3.5 is unpacked from its
# release tarball (PYSERIAL_TAR, default /tmp/pyser/pyserial_3.5.orig.tar.gz, else fetched
# from Debian's archive) and put first on PYTHONPATH, so it is what is tested, never an
# installed python3-serial. Prints per test file the passed/failed counts of each round on
# both ports and whether they are the same, then which tests failed how often on each. A
# test.py round may fail test_WriteTimeout on either port: when its own XOFF loops back
# before write() waits for the tty to be writable, the stopped tty never is. Runs itself
# inside scripts/in-netns; by hand, not in CI.
#
# Files run (FILES picks some): the ones that open the named port and only need an echo:
#   test.py test_advanced.py test_high_load.py test_cancel.py test_exclusive.py
#   test_iolib.py test_readline.py test_settings_dict.py test_threaded.py test_rs485.py
# Left out: test_pty.py (makes its own pty, never opens the port), test_asyncio.py (needs
# serial.aio, which 3.5 no longer ships), and the files that take no port (test_context,
# test_url, test_util, test_timeout_class, test_rfc2217).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${VELTRO_IN_NETNS:-}" != 1 ]; then exec "$here/../../scripts/in-netns" "$0" "$@"; fi
build=$(realpath "${1:?usage: run-pyserial-suite.sh BUILD_DIR [ROUNDS]}")
rounds=${2:-5}
tarball=${PYSERIAL_TAR:-/tmp/pyser/pyserial_3.5.orig.tar.gz}
url=http://deb.debian.org/debian/pool/main/p/pyserial/pyserial_3.5.orig.tar.gz
files=${FILES:-test.py test_advanced.py test_high_load.py test_cancel.py test_exclusive.py
  test_iolib.py test_readline.py test_settings_dict.py test_threaded.py test_rs485.py}
test_timeout=300
echo_port=41031
vspd=$build/vspd/veltro-vspd
ctl=$build/vspd/veltro-vspctl
for f in "$vspd" "$ctl"; do [ -x "$f" ] || { echo "build $f first" >&2; exit 1; }; done
for tool in socat python3 tar; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/setup installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

if [ ! -f "$tarball" ]; then
  # Inside the namespace there is only loopback, so a download may well fail: say so.
  echo "no $tarball: fetching $url" >&2
  tarball=$work/pyserial_3.5.orig.tar.gz
  if ! curl -fsSL --max-time 60 -o "$tarball" "$url"; then
    echo "cannot fetch $url (no network here?); put the tarball at /tmp/pyser/ or set PYSERIAL_TAR" >&2
    exit 1
  fi
fi
tar -xzf "$tarball" -C "$work"
src=$work/pyserial-3.5
[ -f "$src/serial/__init__.py" ] || { echo "$tarball holds no pyserial-3.5/serial" >&2; exit 1; }
export PYTHONPATH=$src PYTHONDONTWRITEBYTECODE=1
version=$(cd "$work" && python3 -s -c 'import serial; print(serial.__version__, serial.__file__)')
case $version in "3.5 $src/"*) ;; *) echo "wrong pyserial picked up: $version" >&2; exit 1 ;; esac

socat TCP-LISTEN:$echo_port,bind=127.0.0.1,reuseaddr,fork EXEC:cat 2>"$work/echo.log" &
pids+=($!)
socat PTY,link="$work/plain",raw,echo=0 EXEC:cat 2>"$work/plain.log" &
pids+=($!)
"$vspd" --socket "$work/run/control.sock" --com-dir "$work/com" --state-dir "$work/state" \
  --no-auto-map 2>"$work/vspd.log" &
pids+=($!)
vctl="$ctl --socket $work/run/control.sock"
for _ in $(seq 100); do $vctl list >/dev/null 2>&1 && break; sleep 0.05; done
$vctl add COM1 >/dev/null
$vctl configure COM1 tcp client --remote 127.0.0.1:$echo_port >/dev/null
$vctl connect COM1 >/dev/null
vlink=$work/com/COM1
for _ in $(seq 100); do [ -e "$vlink" ] && [ -e "$work/plain" ] && break; sleep 0.05; done
[ -e "$vlink" ] && [ -e "$work/plain" ] || { echo "no COM link or pty link appeared" >&2; exit 1; }

# run_file FILE PORT SIDE: runs one test file once; prints "passed/failed/skipped" and keeps
# the names of the tests that failed under SIDE.
run_file() {
  local out ran bad skipped
  out=$(cd "$src/test" && timeout "$test_timeout" python3 -s "$1" "$2" 2>&1) || true
  ran=$(sed -n 's/^Ran \([0-9]*\) tests\{0,1\} in.*/\1/p' <<<"$out")
  if [ -z "$ran" ]; then
    echo "no-run"
    printf '%s\n' "$out" >>"$work/failures.log"
    return
  fi
  bad=$(($(grep -o 'failures=[0-9]*' <<<"$out" | cut -d= -f2 || echo 0) + 0))
  bad=$((bad + $(grep -o 'errors=[0-9]*' <<<"$out" | cut -d= -f2 || echo 0) + 0))
  skipped=$(($(grep -o 'skipped=[0-9]*' <<<"$out" | cut -d= -f2 || echo 0) + 0))
  echo "$((ran - bad - skipped))/$bad/$skipped"
  [ "$bad" = 0 ] || printf '== %s %s\n%s\n' "$1" "$2" "$out" >>"$work/failures.log"
  sed -n 's/^\(ERROR\|FAIL\): \([^ ]*\) .*/\2/p' <<<"$out" >>"$work/failed.$3.$1"
}
# failed_names SIDE FILE: the tests of FILE that failed in any round on SIDE, with counts.
failed_names() {
  sort "$work/failed.$1.$2" | uniq -c | awk '{ printf "%s%s x%s", sep, $2, $1; sep = ", " }'
}

echo "pyserial $version; $rounds rounds; cells are passed/failed/skipped per round"
printf '%-22s %-40s %-40s %s\n' "test file" "virtual port (veltro-vspd)" "plain pty (socat)" ""
notes=()
for file in $files; do
  vres=() pres=()
  for _ in $(seq "$rounds"); do
    vres+=("$(run_file "$file" "$vlink" virtual)")
    pres+=("$(run_file "$file" "$work/plain" plain)")
  done
  verdict=same
  [ "${vres[*]}" = "${pres[*]}" ] || verdict=differs
  printf '%-22s %-40s %-40s %s\n' "$file" "${vres[*]}" "${pres[*]}" "$verdict"
  touch "$work/failed.virtual.$file" "$work/failed.plain.$file"
  [ -s "$work/failed.virtual.$file" ] || [ -s "$work/failed.plain.$file" ] || continue
  notes+=("$file failed, virtual port: $(failed_names virtual "$file")")
  notes+=("$file failed, plain pty:    $(failed_names plain "$file")")
done
[ ${#notes[@]} = 0 ] || printf '%s\n' "${notes[@]}"
if [ -s "$work/failures.log" ]; then
  cp "$work/failures.log" "${FAILURES_LOG:-/tmp/pyserial-suite-failures.log}"
  echo "failing runs' output: ${FAILURES_LOG:-/tmp/pyserial-suite-failures.log}"
fi
$vctl list
