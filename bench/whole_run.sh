#!/usr/bin/env bash
# The whole run on the 733-entry example with standard input at its end, beside a C program
# doing the same work with fscanf/printf/getchar, and beside an empty C program.
# Usage: bench/whole_run.sh [BUILD_DIR] [RUNS] [NAME=PROGRAM ...]   (defaults: build-test, 300)
# Each NAME=PROGRAM is one more build of nsuica measured beside them (a packaged one, say).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build-test}" && pwd)
runs=${2:-300}
command -v valgrind >/dev/null || { echo "whole_run: valgrind is needed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "whole_run: /usr/bin/time (package time) is needed" >&2; exit 1; }

extras=()
for extra in "${@:3}"; do extras+=("${extra%%=*}=$(realpath "${extra#*=}")"); done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/../examples/NSuica.in" "$work/NSuica.in"
cd "$work"

names=(nsuica c_reference empty_c)
progs=("$build/nsuica" "$build/bench/c_reference" "$build/bench/empty_c")
for extra in "${extras[@]}"; do
    names+=("${extra%%=*}")
    progs+=("${extra#*=}")
done

# The comparison holds only if the programs print the same and end the same.
theirs=$("${progs[1]}" </dev/null; echo "status $?")
for i in "${!names[@]}"; do
    [ "${names[$i]}" = c_reference ] || [ "${names[$i]}" = empty_c ] && continue
    ours=$("${progs[$i]}" </dev/null; echo "status $?")
    [ "$ours" = "$theirs" ] || { echo "whole_run: the C program's run differs from ${names[$i]}'s" >&2; exit 1; }
done

# In an empty environment, as CI's speed guard counts them: the dynamic loader's work grows
# with the environment.
instructions() { env -i PATH=/usr/bin:/bin valgrind --tool=callgrind --callgrind-out-file=/dev/null "$1" \
                     </dev/null 2>&1 >/dev/null | sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'; }
# Peak resident memory moves by a few pages from run to run with the random placement of the
# heap and the libraries: it is measured with that placement turned off where setarch can,
# and as the median of eleven runs.
fixed=()
setarch -R true 2>/dev/null && fixed=(setarch -R)
peak_kib() {
    for ((i = 0; i < 11; i++)); do
        "${fixed[@]}" /usr/bin/time -f %M "$1" </dev/null 2>&1 >/dev/null | tail -n 1
    done | sort -n | sed -n 6p
}
# Wall time of `runs` runs one after the other, in nanoseconds each.
wall_ns() {
    local start end
    start=$(date +%s%N)
    for ((i = 0; i < runs; i++)); do "$1" </dev/null >/dev/null; done
    end=$(date +%s%N)
    echo $(((end - start) / runs))
}

declare -A ir rss ns
for i in "${!names[@]}"; do
    ir[${names[$i]}]=$(instructions "${progs[$i]}")
    rss[${names[$i]}]=$(peak_kib "${progs[$i]}")
done
# Interleave the timed rounds so that a change in the machine's load falls on all three.
for round in 1 2 3; do
    for i in "${!names[@]}"; do
        t=$(wall_ns "${progs[$i]}")
        ns[${names[$i]}]=$(( ${ns[${names[$i]}]:-0} + t ))
    done
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
printf '| program | instructions | ratio to C | peak RSS (KiB) | ratio to C | wall time per run (us) | ratio to C |\n'
printf '|---|---:|---:|---:|---:|---:|---:|\n'
for n in "${names[@]}"; do
    printf '| %s | %d | %s | %d | %s | %.1f | %s |\n' "$n" "${ir[$n]}" "$(ratio "${ir[$n]}" "${ir[c_reference]}")" \
        "${rss[$n]}" "$(ratio "${rss[$n]}" "${rss[c_reference]}")" \
        "$(awk -v t="${ns[$n]}" 'BEGIN { print t / 3 / 1000 }')" "$(ratio "${ns[$n]}" "${ns[c_reference]}")"
done
