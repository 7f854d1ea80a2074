#!/usr/bin/env bash
# Runs one golden case: the answers on standard input, then the console
# text, the exit status and every output file compared byte for byte.
#
#   run_case.sh BINARY CASE_DIR [EMULATOR]
#
# With an emulator (or GIFJOIN_EMULATOR in the environment) the binary is a
# Windows one run under Wine: its answers are typed with CR LF line ends,
# and its console lines must end in CR LF; output files stay byte for byte.
set -u
bin=$1
case_dir=$2
emulator=${3:-${GIFJOIN_EMULATOR:-}}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -d "$case_dir/files" ]; then cp -R "$case_dir/files/." "$work/"; fi
args=()
if [ -f "$case_dir/args" ]; then mapfile -t args < "$case_dir/args"; fi
run=("$bin")
if [ -n "$emulator" ]; then
  run=("$emulator" "$bin")
  # Wine reads arguments and file names in the character set of the locale;
  # the cases are written in UTF-8.
  export LC_ALL=C.UTF-8
fi
# Console text as the binary's platform writes it: LF line ends become CR LF.
want_text() {
  if [ -n "$emulator" ]; then perl -pe 's/\n/\r\n/' "$1"; else cat "$1"; fi
}
want_text "$case_dir/stdin" > "$work/.answers"
want_text "$case_dir/stdout" > "$work/.want_stdout"
(cd "$work" && "${run[@]}" "${args[@]}" < .answers > .stdout 2> .stderr)
status=$?
fail=0
want_status=$(cat "$case_dir/exit" 2>/dev/null || echo 0)
if [ "$status" != "$want_status" ]; then
  echo "exit status: have $status, want $want_status"; fail=1
fi
if ! cmp -s "$work/.stdout" "$work/.want_stdout"; then
  echo "standard output differs (want, have):"; diff "$work/.want_stdout" "$work/.stdout" | head -40; fail=1
fi
if [ -f "$case_dir/stderr" ]; then
  want_text "$case_dir/stderr" > "$work/.want_stderr"
  if ! cmp -s "$work/.stderr" "$work/.want_stderr"; then
    echo "standard error differs:"; diff "$work/.want_stderr" "$work/.stderr" | head -20; fail=1
  fi
fi
if [ "$want_status" = 2 ] && [ ! -s "$work/.stderr" ]; then
  echo "no message on standard error for unusable answers"; fail=1
fi
if [ -d "$case_dir/expect" ]; then
  # Output files, in folders too.
  while IFS= read -r -d '' want; do
    name=${want#"$case_dir/expect/"}
    if ! cmp "$want" "$work/$name"; then echo "output file $name differs"; fail=1; fi
  done < <(find "$case_dir/expect" -type f -print0)
fi
if [ -f "$case_dir/absent" ]; then
  while IFS= read -r name; do
    [ -z "$name" ] && continue
    if [ -e "$work/$name" ]; then echo "file $name must not exist"; fail=1; fi
  done < "$case_dir/absent"
fi
if find "$work" -name '*.tmp' | grep -q .; then echo "temporary file left behind"; fail=1; fi
[ "$fail" = 0 ] && echo "ok"
exit $fail
