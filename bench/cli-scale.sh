#!/bin/bash
# Whole twinfold-cli processes on large libraries, each a ratio against a
# baseline measured in the same run:
#   rescan:  `scan` of an unchanged, cached folder of tiny WAV files
#            ÷ `find DIR -type f -printf '%s %T@\n'` (target <= 4)
#   changed: `scan` of the same folder after `convert --yes --originals keep`
#            of 10 of its files ÷ the same find (target <= 5)
#   convert: `convert` of a 10-minute 24-bit 48 kHz dual-mono WAV
#            ÷ `sox in.wav out.wav remix 1` (target <= 0.35): after a scan
#            (its analysis from the cache, as a user converts what a scan
#            showed), and with --no-cache (its analysis included)
#   memory:  peak resident memory of `scan` answering every file of a large
#            folder from the cache (target <= 200 MB)
# The cache, settings and files live in a temporary folder removed at the end.
# The cache never keeps a file changed less than 3 s before a scan, so the
# folders are left to age before their first scan.
# Usage: bench/cli-scale.sh [twinfold-cli] [files (10000)] [memory files (100000)] [runs (5)]
set -euo pipefail

cli=$(realpath "${1:-build/release/app/cli/twinfold-cli}")
files=${2:-10000}
memoryFiles=${3:-100000}
runs=${4:-5}

work=$(mktemp -d "${TMPDIR:-/tmp}/twinfold-bench-cli-XXXXXX")
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$HOME"

# Dual-mono 16-bit stereo WAVs of 256 frames, 100 to a folder, each with
# its own content.
makeLibrary() {
    python3 - "$1" "$2" <<'EOF'
import os, struct, sys, wave
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(root, "session %d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    mono = struct.unpack("<256h", os.urandom(512))
    with wave.open(os.path.join(folder, "Take %d.wav" % i), "wb") as w:
        w.setnchannels(2); w.setsampwidth(2); w.setframerate(44100)
        w.writeframes(struct.pack("<512h", *[s for s in mono for _ in (0, 1)]))
EOF
}

now() { date +%s.%N; }

# Seconds a command takes; it must succeed (its output is discarded).
timed() {
    local start end
    start=$(now)
    "$@" >/dev/null 2>"$work/stderr" || { echo "failed: $* ($(cat "$work/stderr"))" >&2; exit 1; }
    end=$(now)
    echo "$end - $start" | bc -l
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

medianOf() {
    local n=$1
    shift
    for _ in $(seq "$n"); do timed "$@"; done | median
}

findBaseline() { find "$1" -type f -printf '%s %T@\n'; }
ms() { printf '%.1f' "$(echo "$1 * 1000" | bc -l)"; }
ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }

library=$work/library
echo "making $files files..."
makeLibrary "$library" "$files"
sleep 4
first=$(timed "$cli" scan --jsonl "$library")
rescan=$(medianOf "$runs" "$cli" scan "$library")
jsonl=$(medianOf "$runs" "$cli" scan --jsonl "$library")
find=$(medianOf "$runs" findBaseline "$library")
results=$("$cli" scan --jsonl "$library" | wc -l)
echo "rescan of $files unchanged files ($results results): first scan $(ms "$first") ms, rescan $(ms "$rescan") ms" \
     "(--jsonl $(ms "$jsonl") ms), find $(ms "$find") ms -> ratio $(ratio "$rescan" "$find")" \
     "(--jsonl $(ratio "$jsonl" "$find")) (target <= 4)"

changed=()
for round in $(seq "$runs"); do
    named=()
    for i in $(seq $((round * 10)) $((round * 10 + 9))); do named+=("$library/session 0/Take $i.wav"); done
    convert=$(timed "$cli" convert --yes --originals keep "${named[@]}")
    changed+=("$(timed "$cli" scan "$library")")
done
after=$(printf '%s\n' "${changed[@]}" | median)
echo "rescan after converting 10 files (convert took $(ms "$convert") ms): $(ms "$after") ms," \
     "find $(ms "$find") ms -> ratio $(ratio "$after" "$find") (target <= 5)"
rm -rf "$library" "$XDG_CACHE_HOME"

long=$work/long
mkdir -p "$long"
sox -n -r 48000 -b 24 -c 1 "$long/mono.wav" synth 600 whitenoise vol 0.5
sox "$long/mono.wav" "$long/source.wav" remix 1 1
rm "$long/mono.wav"
sleep 4
"$cli" scan "$long" >/dev/null
conversions=()
uncached=()
soxes=()
for _ in $(seq "$runs"); do
    conversions+=("$(timed "$cli" convert --yes --originals keep "$long/source.wav")")
    find "$long" -type f ! -name source.wav -delete
    uncached+=("$(timed "$cli" convert --yes --originals keep --no-cache "$long/source.wav")")
    find "$long" -type f ! -name source.wav -delete
    soxes+=("$(timed sox "$long/source.wav" "$long/sox.wav" remix 1)")
    rm "$long/sox.wav"
done
conversion=$(printf '%s\n' "${conversions[@]}" | median)
uncachedConversion=$(printf '%s\n' "${uncached[@]}" | median)
soxed=$(printf '%s\n' "${soxes[@]}" | median)
echo "convert of a 10-minute 24-bit stereo file after a scan: $(ms "$conversion") ms" \
     "(--no-cache $(ms "$uncachedConversion") ms), sox remix 1 $(ms "$soxed") ms" \
     "-> ratio $(ratio "$conversion" "$soxed") (--no-cache $(ratio "$uncachedConversion" "$soxed")) (target <= 0.35)"
rm -rf "$long"

echo "making $memoryFiles files..."
makeLibrary "$library" "$memoryFiles"
sleep 4
"$cli" scan --jsonl "$library" >/dev/null
/usr/bin/time -f '%M' -o "$work/peak" "$cli" scan "$library" >/dev/null
textPeak=$(cat "$work/peak")
/usr/bin/time -f '%M' -o "$work/peak" "$cli" scan --jsonl "$library" >/dev/null
jsonlPeak=$(cat "$work/peak")
/usr/bin/time -f '%M' -o "$work/peak" "$cli" scan --json "$library" >/dev/null
jsonPeak=$(cat "$work/peak")
echo "peak memory scanning $memoryFiles cached files: text $((textPeak / 1024)) MB, --jsonl $((jsonlPeak / 1024)) MB," \
     "--json $((jsonPeak / 1024)) MB (target <= 200 MB)"
