#!/usr/bin/env bash
# Side-by-side comparison of gifjoin with gifsicle (and, for sizes,
# ImageMagick) on the benchmark series.
#
#   bench/compare.sh [GIFJOIN] [RUNS]
#   GIFJOIN_COMPARE_ONLY=sizes bench/compare.sh        (the size section alone)
#
# GIFJOIN defaults to build/gifjoin, RUNS (per tool and series) to 5.
# GIFJOIN_COMPARE_ONLY picks sections, comma-separated (default: all three,
# in this order):
#   sizes     the everyday series (make_everyday.py): output sizes of gifjoin,
#             gifjoin -O, gifsicle -O3 and ImageMagick's -layers Optimize,
#             each output judged lossless or not by check_render.py, and the
#             wall time of each tool (one run each)
#   optimize  gifjoin -O against a plain run and gifsicle -O3 on 200 plots
#             files (RUNS alternating runs each), and -O's peak memory on
#             1000 plots files against 200
#   timing    the plain join against gifsicle -m, described below
#   lossy     rate and distortion (not in the default set): the series of
#             make_lossy_series.py joined by gifjoin -O, --lossy=10/20/30/
#             40/60 and gifsicle -O3 --lossy=20/80/200; size, PSNR over the
#             composed frames and largest channel error (rate_distortion.py),
#             wall time; then, for each gifsicle file, gifjoin's smallest
#             file of no lower PSNR and its ratio (target <= 0.80 where
#             gifsicle's is >= 10% below -O, never above 1); and --max-size
#             at three limits between --lossy=255 and -O (size/limit in
#             [0.90, 1.0], time against one -O run, target <= 4x)
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
# The size section. Each everyday series (60 matplotlib charts, a terminal
# recording, a rendered scene, waves over every pixel, transparent sprites,
# gnuplot charts; see make_everyday.py) is joined by
#
#   gifjoin -q -o OUT NAME 1 N                        (in the series directory)
#   gifjoin -O -q -o OUT NAME 1 N
#   gifsicle -O3 --delay 30 --loopcount=forever NAME_1.gif ... -o OUT
#   convert -delay 30 -loop 0 NAME_1.gif ... -layers Optimize OUT
#
# (ImageMagick's /usr/bin/convert, with -limit memory/map/disk raised as far
# as Debian's policy.xml lets them go). Every output is composed as browsers
# do and compared with the inputs by check_render.py; gifjoin's must have
# exactly one frame per file, a peer may merge identical frames into one
# longer frame (its frame count is printed). The table gives the sizes, -O
# against the smallest peer output and against gifsicle -O3, the verdicts
# and the wall times, then the totals over all series, -O against gifsicle
# -O3 (target <= 0.95). A binary without -O is run plain in -O's place, and
# the section says so.
#
# The timing section's series (written by make_workloads.py, interlaced as
# Pillow writes them):
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
sections="${GIFJOIN_COMPARE_ONLY:-sizes,optimize,timing}"
for section in ${sections//,/ }; do
  case "$section" in
    sizes | optimize | timing | lossy) ;;
    *) echo "compare.sh: unknown section '$section' in GIFJOIN_COMPARE_ONLY (sizes, optimize, timing, lossy)" >&2; exit 2 ;;
  esac
done
wants() { case ",$sections," in *",$1,"*) return 0 ;; esac; return 1; }
imagemagick=/usr/bin/convert
if wants sizes; then
  [ -x "$imagemagick" ] && "$imagemagick" -version 2>/dev/null | grep -q ImageMagick ||
    { echo "compare.sh: ImageMagick is not installed ($imagemagick)" >&2; exit 2; }
  "$python" -c "import numpy, matplotlib" 2>/dev/null ||
    { echo "compare.sh: $python has no numpy or matplotlib (python3-numpy, python3-matplotlib)" >&2; exit 2; }
fi
if "$gifjoin" --help 2>/dev/null | grep -q -- '--optimize'; then
  has_optimize=1
else
  has_optimize=0
fi
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
wants sizes && echo "peer:    $("$imagemagick" -version | head -1)"
[ "$has_optimize" = 1 ] || echo "note:    this gifjoin has no -O: every '-O' figure below is a plain run"
echo "sections: $sections"
echo "load:    $(loads) at start"
echo "runs:    $runs per tool and series, alternating; pause before each: $pause s"
echo

if wants optimize || wants timing; then
  "$python" "$here/make_workloads.py" "$work" plots 1000 >/dev/null
  "$python" "$here/make_workloads.py" "$work" photo 40 >/dev/null
fi
if wants sizes; then
  "$python" "$here/make_everyday.py" "$work/everyday" >/dev/null
fi
cd "$work"

# One run of a command with standard input from a file. Sets WALL (seconds,
# from the shell's clock in ns: /usr/bin/time's %e has 10 ms steps), RSS
# (peak resident memory, KiB), FAULTS (minor page faults), CPU (user +
# system seconds). The command is run by /usr/bin/time directly, with no
# shell in between whose pages would be counted.
measure() {  # input command...
  try_measure "$@" || {
    echo "compare.sh: failed: ${*:2}" >&2
    cat "$work/stderr.txt" "$work/time.txt" >&2
    exit 1
  }
}

# The same, returning the command's failure instead of stopping the script.
try_measure() {  # input command...
  local input=$1 start end wall_e
  shift
  [ "$pause" = 0 ] || sleep "$pause"
  start=$(date +%s%N)
  /usr/bin/time -f '%e %M %R %U %S' -o "$work/time.txt" "$@" <"$input" >/dev/null 2>"$work/stderr.txt" || return 1
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

# The size section: every everyday series joined by the four tools once.
ratio3() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
sum_sizes=()

size_run() {  # tool output command...: sets SIZE_<tool>, WALL_<tool>, RSS_<tool>
  local tool=$1 output=$2
  shift 2
  rm -f "$output"
  if try_measure /dev/null "$@" && [ -s "$output" ]; then
    printf -v "SIZE_$tool" '%s' "$(stat -c %s "$output")"
    printf -v "WALL_$tool" '%s' "$WALL"
    printf -v "RSS_$tool" '%s' "$RSS"
  else
    printf -v "SIZE_$tool" '%s' failed
    printf -v "WALL_$tool" '%s' "-"
    printf -v "RSS_$tool" '%s' "-"
    echo "  $tool failed: $(tail -3 "$work/stderr.txt" | tr '\n' ' ')"
  fi
}

# Verdicts of check_render.py for the given outputs of one series: sets
# VERDICT_<tool> (yes, NO or failed), FRAMES_<tool> and NOTE_<tool>.
judge() {  # series count option tool...
  local name=$1 count=$2 option=$3 tool line frames message outputs=()
  shift 3
  for tool in "$@"; do
    printf -v "VERDICT_$tool" '%s' failed
    printf -v "FRAMES_$tool" '%s' "-"
    printf -v "NOTE_$tool" '%s' ""
    [ -s "$out/$name.$tool.gif" ] && outputs+=("$out/$name.$tool.gif")
  done
  [ "${#outputs[@]}" -gt 0 ] || return 0
  while IFS= read -r line; do
    for tool in "$@"; do
      case "$line" in
        "check_render: $out/$name.$tool.gif: "*)
          message=${line#"check_render: $out/$name.$tool.gif: "}
          frames=-
          case "$message" in
            [0-9]*" frames: "*) frames=${message%% frames: *}; message=${message#* frames: } ;;
          esac
          printf -v "FRAMES_$tool" '%s' "$frames"
          printf -v "NOTE_$tool" '%s' "$message"
          case "$message" in
            lossless*) printf -v "VERDICT_$tool" '%s' yes ;;
            *) printf -v "VERDICT_$tool" '%s' NO ;;
          esac
          ;;
      esac
    done
  done < <("$python" "$here/check_render.py" $option "$name" 1 "$count" "${outputs[@]}" 2>&1 || true)
}

sizes_section() {
  local ev="$work/everyday" name count width height producer i files rows=() minpeer minlossless
  local t_plain=0 t_opt=0 t_sicle=0 t_im=0 t_min=0 t_opt_ok=0 t_sicle_ok=0 complete=1 tool
  out="$work/everyday_out"
  mkdir -p "$out"
  echo "== sizes: everyday series, one run of each tool (load $(loads) at start)"
  [ "$has_optimize" = 1 ] || echo "  (no -O in this gifjoin: the -O column is a plain run)"
  while read -r name count width height producer; do
    cd "$ev/$name"
    files=()
    for ((i = 1; i <= count; i++)); do files+=("${name}_$i.gif"); done
    echo "-- $name: $count x ${width}x$height, $producer$(sed -n 2p .made | sed 's/^/; made by /')"
    size_run plain "$out/$name.plain.gif" "$gifjoin" -q -o "$out/$name.plain.gif" "$name" 1 "$count"
    if [ "$has_optimize" = 1 ]; then
      size_run opt "$out/$name.opt.gif" "$gifjoin" -O -q -o "$out/$name.opt.gif" "$name" 1 "$count"
    else
      size_run opt "$out/$name.opt.gif" "$gifjoin" -q -o "$out/$name.opt.gif" "$name" 1 "$count"
    fi
    size_run sicle "$out/$name.sicle.gif" gifsicle -O3 --delay 30 --loopcount=forever "${files[@]}" -o "$out/$name.sicle.gif"
    # Debian's policy.xml caps these (256 MiB, 512 MiB, 1 GiB); asking for
    # more takes what it allows, and a series that does not fit fails here.
    size_run im "$out/$name.im.gif" "$imagemagick" -limit memory 2GiB -limit map 4GiB -limit disk 8GiB \
      -delay 30 -loop 0 "${files[@]}" -layers Optimize "$out/$name.im.gif"
    judge "$name" "$count" --exact-frames plain opt
    judge "$name" "$count" "" sicle im
    for tool in plain opt sicle im; do
      local f="FRAMES_$tool" n="NOTE_$tool" z="SIZE_$tool" w="WALL_$tool" r="RSS_$tool"
      printf '  %-12s %9s bytes  %7s s  %7s KiB  %3s frames  %s\n' \
        "$(case $tool in plain) echo gifjoin ;; opt) echo "gifjoin -O" ;; sicle) echo gifsicle ;; im) echo ImageMagick ;; esac)" \
        "${!z}" "${!w}" "${!r}" "${!f}" "${!n}"
    done
    minpeer=failed; minlossless=-
    for tool in sicle im; do
      local z="SIZE_$tool" v="VERDICT_$tool"
      [ "${!z}" = failed ] && continue
      if [ "$minpeer" = failed ] || [ "${!z}" -lt "$minpeer" ]; then minpeer=${!z}; fi
      if [ "${!v}" = yes ] && { [ "$minlossless" = - ] || [ "${!z}" -lt "$minlossless" ]; }; then minlossless=${!z}; fi
    done
    local r_min=- r_lossless=- r_sicle=-
    if [ "$SIZE_opt" != failed ]; then
      [ "$minpeer" = failed ] || r_min=$(ratio3 "$SIZE_opt" "$minpeer")
      [ "$minlossless" = - ] || r_lossless=$(ratio3 "$SIZE_opt" "$minlossless")
      [ "$SIZE_sicle" = failed ] || r_sicle=$(ratio3 "$SIZE_opt" "$SIZE_sicle")
    fi
    echo "  -O / smallest peer $r_min, / smallest lossless peer $r_lossless, / gifsicle -O3 $r_sicle"
    rows+=("$(printf '| %s | %s x %sx%s | %s | %s | %s | %s | %s | %s | %s | %s, %s, %s, %s | %s, %s | %s, %s, %s, %s |' \
      "$name" "$count" "$width" "$height" "$SIZE_plain" "$SIZE_opt" "$SIZE_sicle" "$SIZE_im" \
      "$r_min" "$r_lossless" "$r_sicle" "$VERDICT_plain" "$VERDICT_opt" "$VERDICT_sicle" "$VERDICT_im" \
      "$FRAMES_sicle" "$FRAMES_im" "$WALL_plain" "$WALL_opt" "$WALL_sicle" "$WALL_im")")
    if [ "$SIZE_plain" = failed ] || [ "$SIZE_opt" = failed ] || [ "$SIZE_sicle" = failed ] || [ "$SIZE_im" = failed ]; then
      complete=0
    else
      t_plain=$((t_plain + SIZE_plain)); t_opt=$((t_opt + SIZE_opt))
      t_sicle=$((t_sicle + SIZE_sicle)); t_im=$((t_im + SIZE_im)); t_min=$((t_min + minpeer))
      if [ "$VERDICT_sicle" = yes ]; then
        t_opt_ok=$((t_opt_ok + SIZE_opt)); t_sicle_ok=$((t_sicle_ok + SIZE_sicle))
      fi
    fi
  done < <("$python" "$here/make_everyday.py" --list)
  cd "$work"
  echo
  echo "== sizes: summary (bytes; -O ratios against the peers' outputs; lossless per check_render.py;"
  echo "   frames: a peer with fewer frames than files merged identical frames; wall times of one run)"
  echo "| series | files | gifjoin | gifjoin -O | gifsicle -O3 | ImageMagick | -O / min(peers) | -O / min(lossless peers) | -O / gifsicle | lossless: gifjoin, -O, gifsicle, IM | frames: gifsicle, IM | wall s: gifjoin, -O, gifsicle, IM |"
  echo "| --- | --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | --- | --- | --- |"
  printf '%s\n' "${rows[@]}"
  if [ "$t_sicle" -gt 0 ]; then
    echo "| total | | $t_plain | $t_opt | $t_sicle | $t_im | $(ratio3 "$t_opt" "$t_min") | | $(ratio3 "$t_opt" "$t_sicle") | | | |"
    echo
    echo "total -O / total gifsicle -O3: $(ratio3 "$t_opt" "$t_sicle") (target <= 0.95: $(verdict "$(exact "$t_opt" "$t_sicle")" "<=" 0.95))$([ "$complete" = 1 ] || echo '; series where a tool failed left out')"
    [ "$t_sicle_ok" -gt 0 ] &&
      echo "  over the series where gifsicle -O3 is lossless: $(ratio3 "$t_opt_ok" "$t_sicle_ok") ($t_opt_ok against $t_sicle_ok bytes)"
  fi
  echo
}

# The -O section: plain, -O and gifsicle -O3 on plots, alternating.
optimize_section() {
  local base=plots high=200 r files=() line
  local pw=() ow=() sw=() pr=() or_=() sr=() pf=() of=() sf=() pc=() oc=() sc=() o1000=()
  local opt=(-O)
  [ "$has_optimize" = 1 ] || opt=()
  cd "$work"
  for ((r = 1; r <= high; r++)); do files+=("${base}_$r.gif"); done
  echo "== -O on $base: $high files of 800x600 against a plain run and gifsicle -O3"
  [ "$has_optimize" = 1 ] || echo "  (no -O in this gifjoin: the -O runs are plain runs)"
  measure /dev/null "$gifjoin" "${opt[@]}" -q -o "$work/opt_out.gif" "$base" 1 "$high"
  line=$("$python" "$here/check_render.py" --exact-frames "$base" 1 "$high" "$work/opt_out.gif" 2>&1) || true
  echo "  checked: ${line#check_render: }"
  wait_for_quiet
  local load_before
  load_before=$(loads)
  for ((r = 0; r < runs; r++)); do
    measure /dev/null "$gifjoin" -q -o "$work/plain_out.gif" "$base" 1 "$high"
    pw+=("$WALL"); pr+=("$RSS"); pf+=("$FAULTS"); pc+=("$CPU")
    measure /dev/null "$gifjoin" "${opt[@]}" -q -o "$work/opt_out.gif" "$base" 1 "$high"
    ow+=("$WALL"); or_+=("$RSS"); of+=("$FAULTS"); oc+=("$CPU")
    measure /dev/null gifsicle -O3 --delay 30 --loopcount=forever "${files[@]}" -o "$work/gifsicle_O3_out.gif"
    sw+=("$WALL"); sr+=("$RSS"); sf+=("$FAULTS"); sc+=("$CPU")
  done
  local mp mo ms rp ro rs fp fo fs cp co cs
  mp=$(median "${pw[@]}"); mo=$(median "${ow[@]}"); ms=$(median "${sw[@]}")
  rp=$(median "${pr[@]}"); ro=$(median "${or_[@]}"); rs=$(median "${sr[@]}")
  fp=$(median "${pf[@]}"); fo=$(median "${of[@]}"); fs=$(median "${sf[@]}")
  cp=$(median "${pc[@]}"); co=$(median "${oc[@]}"); cs=$(median "${sc[@]}")
  echo "  (load $load_before before, $(loads) after)"
  echo "  gifjoin     wall (s):   ${pw[*]}"
  echo "  gifjoin -O  wall (s):   ${ow[*]}"
  echo "  gifsicle -O3 wall (s):  ${sw[*]}"
  echo "  median wall:  gifjoin $mp s, -O $mo s, gifsicle -O3 $ms s"
  echo "    -O / gifsicle -O3 $(ratio "$mo" "$ms") (target <= 0.10: $(verdict "$(exact "$mo" "$ms")" "<=" 0.10));" \
       "-O / gifjoin $(ratio "$mo" "$mp") (target <= 1.5: $(verdict "$(exact "$mo" "$mp")" "<=" 1.5))"
  echo "  median CPU:   gifjoin $cp s, -O $co s, gifsicle -O3 $cs s; -O / gifsicle -O3 $(ratio "$co" "$cs")"
  echo "  median peak:  gifjoin $(mib "$rp") MiB, -O $(mib "$ro") MiB, gifsicle -O3 $(mib "$rs") MiB"
  echo "  median faults: gifjoin $fp, -O $fo, gifsicle -O3 $fs"
  echo "  output size:  gifjoin $(stat -c %s plain_out.gif), -O $(stat -c %s opt_out.gif)," \
       "gifsicle -O3 $(stat -c %s gifsicle_O3_out.gif) bytes; -O / gifsicle -O3" \
       "$(ratio3 "$(stat -c %s opt_out.gif)" "$(stat -c %s gifsicle_O3_out.gif)")"
  for ((r = 0; r < runs; r++)); do
    measure /dev/null "$gifjoin" "${opt[@]}" -q -o "$work/opt_out.gif" "$base" 1 1000
    o1000+=("$RSS")
  done
  local p1000
  p1000=$(median "${o1000[@]}")
  echo "  -O peak (KiB) on 1000 files: ${o1000[*]}; median $(mib "$p1000") MiB against $(mib "$ro") MiB on 200:" \
       "ratio $(ratio "$p1000" "$ro") (target <= 1.10: $(verdict "$(exact "$p1000" "$ro")" "<=" 1.10))"
  echo
}

timing_section() {
cd "$work"
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
}

lossy_section() {
  echo "== rate and distortion: gifjoin --lossy against gifsicle -O3 --lossy"
  "$python" "$here/make_lossy_series.py" "$work/lossy" >/dev/null
  for entry in video:45 photo:40 sines:60; do
    local name=${entry%%:*} count=${entry##*:} dir="$work/lossy/${entry%%:*}"
    local files=() runs=()
    for i in $(seq 1 "$count"); do files+=("${name}_$i.gif"); done
    (
      cd "$dir"
      for level in O 10 20 30 40 60; do
        local opt="--lossy=$level"; [ "$level" = O ] && opt=-O
        local t0=$(date +%s.%N)
        "$gifjoin" -q $opt -o "j_$level.gif" "$name" 1 "$count"
        echo "time j_$level.gif $(echo "$(date +%s.%N) - $t0" | bc)"
      done
      for level in 20 80 200; do
        local t0=$(date +%s.%N)
        gifsicle -O3 --lossy=$level --delay 30 --loopcount=forever "${files[@]}" -o "g_$level.gif" 2>/dev/null
        echo "time g_$level.gif $(echo "$(date +%s.%N) - $t0" | bc)"
      done
      "$python" "$here/rate_distortion.py" "$name" 1 "$count" j_*.gif g_*.gif
    ) > "$dir/rd.txt"
    "$python" - "$name" "$dir/rd.txt" <<'PY'
import sys
name, path = sys.argv[1], sys.argv[2]
times, rd = {}, {}
for line in open(path):
    f = line.split()
    if f[0] == "time":
        times[f[1]] = float(f[2])
    else:
        rd[f[0]] = (int(f[1]), float(f[2]), int(f[3]))
print("-- %s" % name)
print("| file | bytes | PSNR dB | max error | wall s |")
print("| --- | ---: | ---: | ---: | ---: |")
for k in sorted(rd):
    print("| %s | %d | %.2f | %d | %.2f |" % (k, rd[k][0], rd[k][1], rd[k][2], times.get(k, 0)))
lossless = rd["j_O.gif"][0]
for g in sorted(k for k in rd if k.startswith("g_")):
    size, psnr, _ = rd[g]
    ours = [rd[k] + (k,) for k in rd if k.startswith("j_") and rd[k][1] >= psnr]
    if not ours:
        print("%s: no gifjoin file of PSNR >= %.2f" % (g, psnr))
        continue
    best = min(ours)
    target = 0.80 if size <= 0.9 * lossless else 1.0
    ratio = best[0] / size
    print("%s: %s at %.2f dB, %.3fx its size (target <= %.2f: %s)" % (
        g, best[3], best[1], ratio, target, "met" if ratio <= target else "NOT met"))
PY
  done
  echo "-- --max-size on video (limits between --lossy=255 and -O)"
  (
    cd "$work/lossy/video"
    "$gifjoin" -q --lossy=255 -o s.gif video 1 45
    local strong=$(stat -c %s s.gif) full=$(stat -c %s j_O.gif)
    local t0=$(date +%s.%N); "$gifjoin" -q -O -o o.gif video 1 45; local one=$(echo "$(date +%s.%N) - $t0" | bc)
    for f in 0.25 0.5 0.75; do
      local limit=$(echo "$strong + ($full - $strong) * $f" | bc | cut -d. -f1)
      t0=$(date +%s.%N)
      "$gifjoin" --max-size="$limit" -o m.gif video 1 45 >/dev/null 2>m.txt || true
      local took=$(echo "$(date +%s.%N) - $t0" | bc)
      local size=$(stat -c %s m.gif 2>/dev/null || echo 0)
      echo "limit $limit: $size bytes, size/limit $(echo "scale=3; $size / $limit" | bc), $(echo "scale=2; $took / $one" | bc)x one -O run; $(cat m.txt)"
    done
  )
  echo
}

started=$SECONDS
if wants sizes; then sizes_section; fi
if wants optimize; then optimize_section; fi
if wants timing; then timing_section; fi
if wants lossy; then lossy_section; fi
echo "elapsed: $((SECONDS - started)) s for the sections ($sections)"
echo "load:    $(loads) at end"
