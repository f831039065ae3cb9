#!/usr/bin/env bash
# Peak memory and time of the program as its input grows, each beside `cat FILE > /dev/null`
# on the same file: an empty file, the 733-entry example, a million entries (the program
# must stop at the 734th), a million malformed entries (all checked, five told) and 100 MB of
# whitespace (which must stream through).
# Usage: bench/growth.sh [BUILD_DIR] [RUNS]   (defaults: build-test, 5; the best run counts)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build-test}" && pwd)
runs=${2:-5}
[ -x /usr/bin/time ] || { echo "growth: /usr/bin/time (package time) is needed" >&2; exit 1; }
program="$build/nsuica"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/inputs" "$work/run"
: >"$work/inputs/empty"
cp "$here/../examples/NSuica.in" "$work/inputs/example-733"
# (yes ends by SIGPIPE when head has enough; that is not a failure here)
{ yes '1, 2-3,4-5,6,7-8' || true; } | head -n 1000000 >"$work/inputs/million-entries"
{ yes '1, 2-3,4-5,6,7;8' || true; } | head -n 1000000 >"$work/inputs/million-malformed"
# Lines of spaces, tabs and a carriage return: 100 MiB of whitespace and nothing else.
{ yes "$(printf '  \t      \t    \r')" || true; } | head -c $((100 * 1024 * 1024)) >"$work/inputs/whitespace-100M"

# Best (least) elapsed seconds and peak KiB of a command over $runs runs, with the random
# placement of the heap and the libraries turned off where setarch can.
fixed=()
setarch -R true 2>/dev/null && fixed=(setarch -R)
measure() {
    local best_s="" best_kib="" out s kib
    for ((i = 0; i < runs; i++)); do
        "${fixed[@]}" /usr/bin/time -o "$work/time" -f '%e %M' "$@" </dev/null >/dev/null 2>&1 || true
        out=$(tail -n 1 "$work/time")
        s=${out% *}
        kib=${out#* }
        if [ -z "$best_s" ] || awk -v a="$s" -v b="$best_s" 'BEGIN { exit !(a < b) }'; then best_s=$s; fi
        if [ -z "$best_kib" ] || [ "$kib" -lt "$best_kib" ]; then best_kib=$kib; fi
    done
    echo "$best_s $best_kib"
}

# /usr/bin/time's %e has a resolution of 10 ms: the small files are timed over many runs.
mean_ms() {
    local n=$1 start end
    shift
    start=$(date +%s%N)
    for ((i = 0; i < n; i++)); do "$@" </dev/null >/dev/null 2>&1 || true; done
    end=$(date +%s%N)
    awk -v t=$((end - start)) -v n="$n" 'BEGIN { printf "%.2f", t / n / 1e6 }'
}

printf '| input | size | exit status, message | nsuica ms | cat ms | ratio | nsuica peak KiB | cat peak KiB |\n'
printf '|---|---:|---|---:|---:|---:|---:|---:|\n'
for input in empty example-733 million-entries million-malformed whitespace-100M; do
    file="$work/inputs/$input"
    ln -sf "$file" "$work/run/NSuica.in"
    cd "$work/run"
    status=0
    "$program" </dev/null >"$work/out" || status=$?
    message=$(tail -n +10 "$work/out" | tail -n 1)  # the last line of what follows the corner
    read -r _ ours_kib < <(measure "$program")
    read -r _ cat_kib < <(measure cat "$file")
    repeat=$(( $(stat -c %s "$file") > 10000000 ? runs : 200 ))
    ours_ms=$(mean_ms "$repeat" "$program")
    cat_ms=$(mean_ms "$repeat" cat "$file")
    printf '| %s | %s | %s%s | %s | %s | %s | %s | %s |\n' "$input" "$(stat -c %s "$file")" "$status" \
        "${message:+, $message}" "$ours_ms" "$cat_ms" \
        "$(awk -v a="$ours_ms" -v b="$cat_ms" 'BEGIN { printf "%.2f", a / b }')" "$ours_kib" "$cat_kib"
done
