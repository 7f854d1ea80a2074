#!/usr/bin/env bash
# Side-by-side comparison of gifjoin with gifsicle on the benchmark series.
#
#   bench/compare.sh [GIFJOIN] [RUNS]
#
# GIFJOIN defaults to build/gifjoin, RUNS (per tool and series) to 5.
# GIFJOIN_COMPARE_DIR names the scratch directory (kept, so the series are
# made only once); without it a temporary one is made and removed.
# GIFJOIN_COMPARE_PAUSE (seconds, default 0) is slept before every timed
# run: on virtual machines that hand freed memory back to the host, a run
# that follows an idle pause pays for fresh pages again, as a user's would.
#
# For each series (plots: 200 files of 800x600, photo: 40 files of 640x480)
# the two tools run alternately, RUNS times each; the script prints the
# median wall times, their ratio and the peak resident memory of each, and
# the memory target 1.15 x 4 x pixels x frames + 32 MiB. Then the linearity
# check: 400 plots frames against 200, alternately. Before anything is timed
# gifjoin's output must decode (Pillow) to exactly the input frames.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
gifjoin="$(realpath "${1:-$root/build/gifjoin}")"
runs="${2:-5}"
pause="${GIFJOIN_COMPARE_PAUSE:-0}"
python=/usr/bin/python3

[ -x "$gifjoin" ] || { echo "compare.sh: no gifjoin binary at $gifjoin" >&2; exit 2; }
command -v gifsicle >/dev/null || { echo "compare.sh: gifsicle is not installed" >&2; exit 2; }
"$python" -c "import PIL" 2>/dev/null || { echo "compare.sh: $python has no Pillow (python3-pil)" >&2; exit 2; }
if [ ! -x /usr/bin/time ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq time >/dev/null
fi

if [ -n "${GIFJOIN_COMPARE_DIR:-}" ]; then
  work="$GIFJOIN_COMPARE_DIR"
  mkdir -p "$work"
else
  work="$(mktemp -d /tmp/gifjoin_compare.XXXXXX)"
  trap 'rm -rf "$work"' EXIT
fi

echo "date:    $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "cpu:     $(lscpu | sed -n 's/^Model name: *//p') ($(nproc) cpus)"
echo "commit:  $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)$(git -C "$root" diff --quiet -- src 2>/dev/null || echo ' (+ uncommitted changes under src/)')"
echo "gifjoin: $gifjoin"
echo "peer:    $(gifsicle --version | head -1)"
echo "load:    $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min) at start"
echo "runs:    $runs per tool and series, alternating; pause before each: $pause s"
echo

"$python" "$here/make_workloads.py" "$work" plots 400 >/dev/null
"$python" "$here/make_workloads.py" "$work" photo 40 >/dev/null
cd "$work"

# Wall time in seconds (from the shell's clock, in ns) and peak resident
# memory in KiB (/usr/bin/time -v) of one command; sets WALL and RSS.
measure() {
  local start end
  [ "$pause" = 0 ] || sleep "$pause"
  start=$(date +%s%N)
  /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || {
    echo "compare.sh: failed: $*" >&2
    cat "$work/stderr.txt" >&2
    exit 1
  }
  end=$(date +%s%N)
  WALL=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
  RSS=$(sed -n 's/.*Maximum resident set size (kbytes): *//p' "$work/time.txt")
}

run_gifjoin() {  # base high
  printf '%s\n1\n%s\n' "$1" "$2" >"$work/answers.txt"
  measure sh -c "exec \"$gifjoin\" <\"$work/answers.txt\""
}

run_gifsicle() {  # base high
  local files=()
  for ((i = 1; i <= $2; i++)); do files+=("$1_$i.gif"); done
  measure gifsicle -m --delay 30 --loopcount=forever "${files[@]}" -o "$work/gifsicle_out.gif"
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { m = int((NR + 1) / 2); if (NR % 2) print v[m]; else printf "%.3f\n", (v[m] + v[m + 1]) / 2 }'; }
maximum() { printf '%s\n' "$@" | sort -g | tail -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

check() {  # base high
  run_gifjoin "$1" "$2"
  "$python" "$here/check_output.py" "$work/$1_Animated.gif" "$1" 1 "$2" >/dev/null
  echo "checked: $1 x $2: gifjoin's output decodes to the input frames"
}

compare() {  # base high width height
  local base=$1 high=$2 width=$3 height=$4 ours=() peer=() oursRss=() peerRss=()
  check "$base" "$high"
  for ((r = 0; r < runs; r++)); do
    run_gifjoin "$base" "$high"
    ours+=("$WALL")
    oursRss+=("$RSS")
    run_gifsicle "$base" "$high"
    peer+=("$WALL")
    peerRss+=("$RSS")
  done
  local mo mp ro rp target
  mo=$(median "${ours[@]}")
  mp=$(median "${peer[@]}")
  ro=$(maximum "${oursRss[@]}")
  rp=$(maximum "${peerRss[@]}")
  target=$(awk -v p=$((width * height * high)) 'BEGIN { printf "%.1f", (1.15 * 4 * p) / 1048576 + 32 }')
  echo "== $base: $high files of ${width}x$height"
  echo "  gifjoin  runs (s): ${ours[*]}"
  echo "  gifsicle runs (s): ${peer[*]}"
  echo "  median wall: gifjoin $mo s, gifsicle $mp s, ratio gifjoin/gifsicle $(ratio "$mo" "$mp") (target <= 0.50)"
  echo "  peak RSS: gifjoin $(mib "$ro") MiB, gifsicle $(mib "$rp") MiB; target for gifjoin $target MiB"
  echo "  output size: gifjoin $(stat -c %s "$base"_Animated.gif) bytes, gifsicle $(stat -c %s gifsicle_out.gif) bytes"
  echo
}

compare plots 200 800 600
compare photo 40 640 480

# Linearity: 400 plots frames against 200, alternately.
check plots 400
short=()
long=()
longRss=()
for ((r = 0; r < runs; r++)); do
  run_gifjoin plots 200
  short+=("$WALL")
  run_gifjoin plots 400
  long+=("$WALL")
  longRss+=("$RSS")
done
ms=$(median "${short[@]}")
ml=$(median "${long[@]}")
echo "== linearity: plots 400 files against 200"
echo "  200 runs (s): ${short[*]}"
echo "  400 runs (s): ${long[*]}"
echo "  median 200: $ms s, median 400: $ml s, ratio 400/200 $(ratio "$ml" "$ms") (target <= 2.20)"
echo "  peak RSS of the 400 run: $(mib "$(maximum "${longRss[@]}")") MiB; target $(awk 'BEGIN { printf "%.1f", (1.15 * 4 * 800 * 600 * 400) / 1048576 + 32 }') MiB"
echo
echo "load:    $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min) at end"
