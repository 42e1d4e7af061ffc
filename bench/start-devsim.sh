# Sourced by the benchmark scripts: start_devsim PROGRAM BASE_ADDRESS PORT DEVICES starts
# veltro-devsim with DEVICES devices in the background, waits until they are ready, and ends
# it (by its process id) when the script exits.
start_devsim() {
  local program=$1 base=$2 port=$3 devices=$4
  devsim_log=$(mktemp)
  "$program" -n "$devices" --base "$base" --management-port "$port" --no-tftp --quiet \
    >"$devsim_log" 2>&1 &
  devsim_pid=$!
  trap 'kill "$devsim_pid" 2>/dev/null || true; wait "$devsim_pid" 2>/dev/null || true; rm -f "$devsim_log"' EXIT
  for _ in $(seq 100); do
    grep -q "devices ready" "$devsim_log" && return 0
    sleep 0.1
  done
  cat "$devsim_log" >&2
  exit 1
}
