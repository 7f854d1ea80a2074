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
# GIFJOIN_COMPARE_MAX_LOAD (say 1.5; default: no wait) makes the script wait,
# up to 10 minutes, before each series until the 1-minute load average is
# at most that.
# GIFJOIN_COMPARE_FAULT_US (default 13) is the cost of a first touch of a
# fresh 4 KiB page, in microseconds, on the machine the figures are projected
# to; GIFJOIN_COMPARE_LOCAL_FAULT_US (default 2) is its cost on this one.
#
# Series (written by make_workloads.py, interlaced as Pillow writes them):
# plots, 200 files of 800x600; photo, 40 files of 640x480; plots, 1000 files
# of 800x600. For each, gifjoin's output must first decode (Pillow) to
# exactly the input frames; then the two tools run alternately, RUNS times
# each:
#
#   printf 'plots\n1\n200\n' | gifjoin            (in the series directory)
#   gifsicle -m --delay 30 --loopcount=forever plots_1.gif ... -o OUT
#
# and the script prints, per tool, the median wall time (shell clock), peak
# resident memory and minor page faults (/usr/bin/time %M and %R), and the
# ratios gifjoin/gifsicle of the three against their targets, and of CPU
# time (user + system; it moves less with the load than wall time, and
# gifjoin's wall time can reach half of it with two cores free). Minor faults
# count the fresh pages a run touches: they and the peak memory hardly move
# with the machine's load. Faults x GIFJOIN_COMPARE_FAULT_US is what fresh
# pages cost on a machine where they are expensive; the wall time projected
# there adds faults x (that cost - the local cost) to the median.
#
# Then two memory checks: gifjoin's peak memory on 1000 plots files against
# its peak on 200 (target: within 10%), and a file of 41 bytes that declares
# a 30000x30000 image holding four values, joined twice (walk_1.gif,
# walk_2.gif): time, peak memory and faults against 2 s and 64 MiB.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
gifjoin="$(realpath "${1:-$root/build/gifjoin}")"
runs="${2:-5}"
pause="${GIFJOIN_COMPARE_PAUSE:-0}"
max_load="${GIFJOIN_COMPARE_MAX_LOAD:-}"
fault_us="${GIFJOIN_COMPARE_FAULT_US:-13}"
local_fault_us="${GIFJOIN_COMPARE_LOCAL_FAULT_US:-2}"
python=/usr/bin/python3

[ -x "$gifjoin" ] || { echo "compare.sh: no gifjoin binary at $gifjoin" >&2; exit 2; }
command -v gifsicle >/dev/null || { echo "compare.sh: gifsicle is not installed" >&2; exit 2; }
"$python" -c "import PIL" 2>/dev/null || { echo "compare.sh: $python has no Pillow (python3-pil)" >&2; exit 2; }
if [ ! -x /usr/bin/time ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq time >/dev/null
fi

if [ -n "${GIFJOIN_COMPARE_DIR:-}" ]; then
  work="$(realpath -m "$GIFJOIN_COMPARE_DIR")"
  mkdir -p "$work"
else
  work="$(mktemp -d /tmp/gifjoin_compare.XXXXXX)"
  trap 'rm -rf "$work"' EXIT
fi

load1() { cut -d' ' -f1 /proc/loadavg; }
loads() { echo "$(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min)"; }

echo "date:    $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "cpu:     $(lscpu | sed -n 's/^Model name: *//p') ($(nproc) cpus)"
echo "repo:    $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)$(git -C "$root" diff --quiet -- src 2>/dev/null || echo ' (+ uncommitted changes under src/)') (the binary may be built from another tree)"
echo "gifjoin: $gifjoin ($("$gifjoin" --version 2>/dev/null | head -1))"
echo "peer:    $(gifsicle --version | head -1)"
echo "load:    $(loads) at start"
echo "runs:    $runs per tool and series, alternating; pause before each: $pause s"
echo

"$python" "$here/make_workloads.py" "$work" plots 1000 >/dev/null
"$python" "$here/make_workloads.py" "$work" photo 40 >/dev/null
cd "$work"

# One run of a command with standard input from a file. Sets WALL (seconds,
# from the shell's clock in ns: /usr/bin/time's %e has 10 ms steps), RSS
# (peak resident memory, KiB), FAULTS (minor page faults), CPU (user +
# system seconds). The command is run by /usr/bin/time directly, with no
# shell in between whose pages would be counted.
measure() {  # input command...
  local input=$1 start end wall_e
  shift
  [ "$pause" = 0 ] || sleep "$pause"
  start=$(date +%s%N)
  /usr/bin/time -f '%e %M %R %U %S' -o "$work/time.txt" "$@" <"$input" >/dev/null 2>"$work/stderr.txt" || {
    echo "compare.sh: failed: $*" >&2
    cat "$work/stderr.txt" "$work/time.txt" >&2
    exit 1
  }
  end=$(date +%s%N)
  WALL=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
  read -r wall_e RSS FAULTS CPU_USER CPU_SYS <"$work/time.txt"
  CPU=$(awk -v u="$CPU_USER" -v s="$CPU_SYS" 'BEGIN { printf "%.2f", u + s }')
}

run_gifjoin() {  # base high
  printf '%s\n1\n%s\n' "$1" "$2" >"$work/answers.txt"
  measure "$work/answers.txt" "$gifjoin"
}

run_gifsicle() {  # base high
  local files=()
  for ((i = 1; i <= $2; i++)); do files+=("$1_$i.gif"); done
  measure /dev/null gifsicle -m --delay 30 --loopcount=forever "${files[@]}" -o "$work/gifsicle_out.gif"
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { m = int((NR + 1) / 2); if (NR % 2) print v[m]; else printf "%.3f\n", (v[m] + v[m + 1]) / 2 }'; }
maximum() { printf '%s\n' "$@" | sort -g | tail -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# Unrounded, for the verdicts.
exact() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.6f", a / b }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
verdict() {  # value op limit: "met" or "MISSED"
  awk -v v="$1" -v l="$3" -v op="$2" 'BEGIN { ok = (op == "<=") ? (v <= l) : (v >= l); print ok ? "met" : "MISSED" }'
}
# Fresh-page cost at GIFJOIN_COMPARE_FAULT_US, seconds.
fault_cost() { awk -v f="$1" -v us="$fault_us" 'BEGIN { printf "%.3f", f * us / 1e6 }'; }
# Median wall projected to that machine: the local fault cost is in it already.
projected() { awk -v w="$1" -v f="$2" -v us="$fault_us" -v here="$local_fault_us" 'BEGIN { printf "%.3f", w + f * (us - here) / 1e6 }'; }

wait_for_quiet() {
  [ -n "$max_load" ] || return 0
  local waited=0
  while awk -v l="$(load1)" -v m="$max_load" 'BEGIN { exit !(l > m) }' && [ "$waited" -lt 600 ]; do
    sleep 15
    waited=$((waited + 15))
  done
  [ "$waited" = 0 ] || echo "  (waited $waited s for the load to fall to $max_load)"
}

check() {  # base high
  run_gifjoin "$1" "$2"
  "$python" "$here/check_output.py" "$work/$1_Animated.gif" "$1" 1 "$2" >/dev/null
  echo "checked: $1 x $2: gifjoin's output decodes to the input frames"
}

summary=()

compare() {  # base high width height time-target
  local base=$1 high=$2 width=$3 height=$4 target=$5
  local ours=() peer=() oursRss=() peerRss=() oursFaults=() peerFaults=() oursCpu=() peerCpu=()
  check "$base" "$high"
  wait_for_quiet
  local load_before
  load_before=$(loads)
  for ((r = 0; r < runs; r++)); do
    run_gifjoin "$base" "$high"
    ours+=("$WALL"); oursRss+=("$RSS"); oursFaults+=("$FAULTS"); oursCpu+=("$CPU")
    run_gifsicle "$base" "$high"
    peer+=("$WALL"); peerRss+=("$RSS"); peerFaults+=("$FAULTS"); peerCpu+=("$CPU")
  done
  local mo mp ro rp fo fp co cp rt rr rf rc po pp
  mo=$(median "${ours[@]}"); mp=$(median "${peer[@]}")
  ro=$(median "${oursRss[@]}"); rp=$(median "${peerRss[@]}")
  fo=$(median "${oursFaults[@]}"); fp=$(median "${peerFaults[@]}")
  co=$(median "${oursCpu[@]}"); cp=$(median "${peerCpu[@]}")
  rt=$(ratio "$mo" "$mp"); rr=$(ratio "$ro" "$rp"); rf=$(ratio "$fo" "$fp"); rc=$(ratio "$co" "$cp")
  po=$(projected "$mo" "$fo"); pp=$(projected "$mp" "$fp")
  echo "== $base: $high files of ${width}x$height (load $load_before before, $(loads) after)"
  echo "  gifjoin  wall (s):    ${ours[*]}"
  echo "  gifsicle wall (s):    ${peer[*]}"
  echo "  gifjoin  peak (KiB):  ${oursRss[*]}"
  echo "  gifsicle peak (KiB):  ${peerRss[*]}"
  echo "  gifjoin  faults:      ${oursFaults[*]}"
  echo "  gifsicle faults:      ${peerFaults[*]}"
  echo "  median wall:   gifjoin $mo s, gifsicle $mp s; ratio $rt (target <= $target: $(verdict "$(exact "$mo" "$mp")" "<=" "$target"))"
  echo "  median peak:   gifjoin $(mib "$ro") MiB, gifsicle $(mib "$rp") MiB; ratio $rr (target <= 1: $(verdict "$(exact "$ro" "$rp")" "<=" 1))"
  echo "  median faults: gifjoin $fo, gifsicle $fp; ratio $rf (target <= 1: $(verdict "$(exact "$fo" "$fp")" "<=" 1))"
  echo "  median CPU (user + system): gifjoin $co s, gifsicle $cp s; ratio $rc"
  echo "  fresh pages at $fault_us us: gifjoin $(fault_cost "$fo") s, gifsicle $(fault_cost "$fp") s;" \
       "projected wall gifjoin $po s, gifsicle $pp s, ratio $(ratio "$po" "$pp")"
  echo "  output size: gifjoin $(stat -c %s "$base"_Animated.gif) bytes, gifsicle $(stat -c %s gifsicle_out.gif) bytes"
  echo
  summary+=("$(printf '| %s, %d x %dx%d | %s s | %s s | %s (<= %s) | %s | %s | %s | %s | %s | %s | %s | %s | %s |' \
    "$base" "$high" "$width" "$height" "$mo" "$mp" "$rt" "$target" "$rc" \
    "$(mib "$ro")" "$(mib "$rp")" "$rr" "$fo" "$fp" "$rf" "$(fault_cost "$fo")" "$(ratio "$po" "$pp")")")
  LAST_PEAK=$ro
}

compare plots 200 800 600 0.25
peak200=$LAST_PEAK
compare photo 40 640 480 0.35
compare plots 1000 800 600 0.20
peak1000=$LAST_PEAK

flat=$(ratio "$peak1000" "$peak200")
echo "== peak memory of gifjoin, 1000 plots files against 200"
echo "  median peak: 1000 files $(mib "$peak1000") MiB, 200 files $(mib "$peak200") MiB; ratio $flat (target <= 1.10: $(verdict "$(exact "$peak1000" "$peak200")" "<=" 1.10))"
echo

# A file of 41 bytes declaring a 30000x30000 image: a 4-colour global table,
# an image descriptor, minimum code size 2 and the codes clear, 1, 2, 3, end
# packed least-significant bit first in 3 bits each. Joined twice.
mkdir -p "$work/declared"
"$python" - "$work/declared" "$root/tests/tools" <<'EOF'
import os, struct, sys
sys.path.insert(0, sys.argv[2])
from gifgen import pack_codes
gif = b"GIF89a" + struct.pack("<HHBBB", 30000, 30000, 0x81, 0, 0)
gif += bytes(c for i in range(4) for c in (i, 255 - i, 3 * i & 0xFF))
gif += b"\x2C" + struct.pack("<HHHHB", 0, 0, 30000, 30000, 0)
gif += bytes([2]) + pack_codes([(4, 3), (1, 3), (2, 3), (3, 3), (5, 3)]) + b"\x00\x3B"
for n in (1, 2):
    with open(os.path.join(sys.argv[1], "walk_%d.gif" % n), "wb") as f:
        f.write(gif)
EOF
cd "$work/declared"
dt=(); dr=(); df=()
for ((r = 0; r < runs; r++)); do
  run_gifjoin walk 2
  dt+=("$WALL"); dr+=("$RSS"); df+=("$FAULTS")
done
[ -s walk_Animated.gif ] || { echo "compare.sh: the declared-size run wrote no output" >&2; exit 1; }
mdt=$(median "${dt[@]}"); mdr=$(median "${dr[@]}"); mdf=$(median "${df[@]}")
xdt=$(maximum "${dt[@]}"); xdr=$(maximum "${dr[@]}")
echo "== declared size: walk_1.gif, walk_2.gif, $(stat -c %s walk_1.gif) bytes each, declaring 30000x30000"
echo "  wall (s):    ${dt[*]}"
echo "  peak (KiB):  ${dr[*]}"
echo "  faults:      ${df[*]}"
echo "  median wall $mdt s, slowest $xdt s (target <= 2 s: $(verdict "$xdt" "<=" 2))"
echo "  median peak $(mib "$mdr") MiB, largest $(mib "$xdr") MiB (target <= 64 MiB: $(verdict "$xdr" "<=" 65536))"
echo "  median faults $mdf; at $fault_us us each $(fault_cost "$mdf") s; projected wall $(projected "$mdt" "$mdf") s"
echo "  output size: $(stat -c %s walk_Animated.gif) bytes"
echo

echo "== summary (medians; ratios gifjoin/gifsicle; fresh pages at $fault_us us)"
echo "| series | gifjoin wall | gifsicle wall | time ratio (target) | CPU time ratio | gifjoin peak MiB | gifsicle peak MiB | peak ratio | gifjoin faults | gifsicle faults | fault ratio | gifjoin faults x $fault_us us | projected time ratio |"
echo "| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |"
printf '%s\n' "${summary[@]}"
echo "| declared 30000x30000, 2 x $(stat -c %s walk_1.gif) bytes | $mdt s (<= 2) | | | | $(mib "$mdr") (<= 64) | | | $mdf | | | $(fault_cost "$mdf") s | |"
echo "peak 1000 / peak 200 (gifjoin): $flat (target <= 1.10)"
echo
echo "load:    $(loads) at end"
