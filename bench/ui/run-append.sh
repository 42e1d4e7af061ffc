#!/usr/bin/env bash
# Instructions per appended log line (number, time, message, scrolled into view) for CReportCtrl
# and for Qt's QTableWidget doing the same, with lists that already hold 0, 5000 and 20000 lines.
# Counted by callgrind, which repeats exactly, unlike timings on a shared machine.
# Usage: bench/ui/run-append.sh BUILD_DIR (a Release build with bench_report_append built)
set -euo pipefail
driver=${1:?build directory}/bench/ui/bench_report_append
appends=500
export QT_QPA_PLATFORM=offscreen

count() {  # kind prefill appends -> instructions
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$driver" "$1" "$2" "$3" 2>&1 |
        sed -n 's/.*refs: *//p' | tr -d ,
}

printf '%-8s %14s %14s %8s\n' lines CReportCtrl QTableWidget ratio
for prefill in 0 5000 20000; do
    declare -A per
    for kind in report peer; do
        base=$(count $kind $prefill 0)
        total=$(count $kind $prefill $appends)
        per[$kind]=$(((total - base) / appends))
    done
    printf '%-8s %14s %14s %8s\n' "$prefill" "${per[report]}" "${per[peer]}" \
        "$(awk -v a="${per[report]}" -v b="${per[peer]}" 'BEGIN { printf "%.2f", a / b }')"
done
