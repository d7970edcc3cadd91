#!/bin/bash
# Scanning from a cold page cache: `twinfold-cli scan --no-cache` of four
# 10-minute 24-bit 48 kHz stereo WAVs (173 MB each) ÷ `cat` of the same files
# to /dev/null, each after dropping the page cache (target <= 1.1).
# Two readings: with the audio cold and each program's own code warm (run
# once with --version after the drop, for both commands alike), which is the
# storage speed a user with a cold library meets; and with everything cold,
# where the scan also reads its libraries (Qt, ICU, libsndfile, ...) back from
# the disk, which cat, needing only the C library every process holds, does
# not. For reference it also times the files read two at a time without
# analysis (two cats at once). Dropping the cache needs root and a writable /proc/sys/vm/drop_caches;
# without them the benchmark says so and skips.
# Usage: bench/cold-cache.sh [twinfold-cli] [runs (5)]
set -euo pipefail

cli=$(realpath "${1:-build/release/app/cli/twinfold-cli}")
runs=${2:-5}

dropCaches() { sync && echo 3 >/proc/sys/vm/drop_caches; }
if [ "$(id -u)" != 0 ] || ! dropCaches 2>/dev/null; then
    echo "cold-cache: skipped (dropping the page cache needs root and a writable /proc/sys/vm/drop_caches)"
    exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/twinfold-bench-cold-XXXXXX")
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$HOME" "$work/files"

# Two dual-mono files and two true-stereo ones, so the scan cannot stop early
# on every file.
sox -n -r 48000 -b 24 -c 1 "$work/mono.wav" synth 600 whitenoise vol 0.5
sox -n -r 48000 -b 24 -c 2 "$work/stereo.wav" synth 600 whitenoise vol 0.5
for i in 1 2; do
    sox "$work/mono.wav" "$work/files/dual $i.wav" remix 1 1
    sox "$work/stereo.wav" "$work/files/stereo $i.wav" vol 0.$((8 + i))
done
rm "$work/mono.wav" "$work/stereo.wav"

now() { date +%s.%N; }

# Seconds a command takes from a cold page cache; it must succeed. With
# WARM=1 the command's program is run once with --version after the drop.
cold() {
    local start end
    dropCaches
    [ "${WARM:-0}" = 1 ] && "$1" --version >/dev/null 2>&1
    start=$(now)
    "$@" >/dev/null || { echo "failed: $*" >&2; exit 1; }
    end=$(now)
    echo "$end - $start" | bc -l
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The files were just written: let the disk finish storing them before
# anything is timed, and read them once from a cold cache untimed.
sync
sleep 2
cold cat "$work/files/"*.wav >/dev/null

# Both readings are taken turn about in each run, so that a busy spell of
# the machine falls on both alike.
# For reference, the files read two at a time, as the scan's two workers
# read them on a two-core machine, without analysing them.
pairedCats() {
    cat "$work/files/dual 1.wav" "$work/files/stereo 1.wav" >/dev/null &
    cat "$work/files/dual 2.wav" "$work/files/stereo 2.wav" >/dev/null
    wait
}
declare -a warmScans warmCats coldScans coldCats paired
for _ in $(seq "$runs"); do
    warmScans+=("$(WARM=1 cold "$cli" scan --no-cache "$work/files")")
    warmCats+=("$(WARM=1 cold cat "$work/files/"*.wav)")
    coldScans+=("$(cold "$cli" scan --no-cache "$work/files")")
    coldCats+=("$(cold cat "$work/files/"*.wav)")
    paired+=("$(cold pairedCats)")
done

# report LABEL SUFFIX SCANS... -- CATS...: the medians and their ratio.
report() {
    local label=$1 suffix=$2 scans=() cats=()
    shift 2
    while [ "$1" != -- ]; do scans+=("$1"); shift; done
    shift
    cats=("$@")
    local scan catted
    scan=$(printf '%s\n' "${scans[@]}" | median)
    catted=$(printf '%s\n' "${cats[@]}" | median)
    printf '%s: scan %.0f ms, cat %.0f ms -> ratio %.2f%s\n' "$label" "$(echo "$scan * 1000" | bc -l)" \
        "$(echo "$catted * 1000" | bc -l)" "$(echo "$scan / $catted" | bc -l)" "$suffix"
}

echo "cold scan --no-cache of 4 ten-minute 24-bit stereo files, median of $runs:"
report "audio cold, programs warm" " (target <= 1.1)" "${warmScans[@]}" -- "${warmCats[@]}"
report "everything cold          " "" "${coldScans[@]}" -- "${coldCats[@]}"
printf 'for reference, two cats at once (the files two at a time, not analysed): %.0f ms\n' \
    "$(echo "$(printf '%s\n' "${paired[@]}" | median) * 1000" | bc -l)"
# The same scan with the files in the page cache: what the analysis costs
# without the disk.
"$cli" scan --no-cache "$work/files" >/dev/null
start=$(now)
"$cli" scan --no-cache "$work/files" >/dev/null
warm=$(echo "$(now) - $start" | bc -l)
printf 'the same scan from the page cache: %.0f ms\n' "$(echo "$warm * 1000" | bc -l)"
