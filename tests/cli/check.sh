#!/usr/bin/env bash
# Runs one command of the tervala tool and checks what it did.
# Usage: check.sh [--stdin FILE] [--cd DIR] [--absent FILE] EXIT OUT_REGEX ERR_REGEX -- command args...
#    or: check.sh --case FILE NAME INPUTS [--cd DIR] -- tervala
#        (or -- EMULATOR tervala: every word after -- is the program)
#        (the case NAME of the table FILE; see cases.txt for its layout)
# EXIT is the expected exit status; the regexes (extended, matched anywhere
# in the whole output; empty means "anything") apply to standard output and
# standard error. --absent names a file (relative to DIR) that must not
# exist afterwards.
# Table cases may also compare bytes exactly (stdout, file), start from a
# stale file (before) and be skipped on Windows (windows-skip, exit 77: the
# cross build sets TERVALA_CHECK_PLATFORM=windows).
set -u
stdin=/dev/null
dir=.
absent=
table=
while [ $# -gt 0 ]; do
  case "$1" in
    --case) table=$2; name=$3; INPUTS=$4; shift 4 ;;
    --stdin) stdin=$2; shift 2 ;;
    --cd) dir=$2; shift 2 ;;
    --absent) absent=$2; shift 2 ;;
    *) break ;;
  esac
done
if [ -n "$table" ]; then
  [ "$1" = "--" ] && shift
  nl=$'\n'; found=0; out_re=; err_re=; want_exit=0; args=()
  same_stdout=; before=(); same_files=(); skip_reason=
  while IFS= read -r line; do
    key=${line%% *}; value=${line#"$key"}; value=${value#"${value%%[! ]*}"}
    if [ "$key" = case ]; then
      [ $found = 1 ] && break
      [ "$value" = "$name" ] && found=1
      continue
    fi
    [ $found = 1 ] || continue
    case "$key" in
      args) eval "args=($value)" ;;
      stdin) stdin=$INPUTS/$value ;;
      absent) absent=$value ;;
      exit) want_exit=$value ;;
      out) out_re=${value//\\n/$nl} ;;
      err) err_re=${value//\\n/$nl} ;;
      stdout) same_stdout=$INPUTS/$value ;;
      before) before+=("$value") ;;
      file) same_files+=("$value") ;;
      windows-skip) skip_reason=$value ;;
    esac
  done <"$table"
  [ $found = 1 ] || { echo "no case $name in $table"; exit 1; }
  if [ -n "$skip_reason" ] && [ "${TERVALA_CHECK_PLATFORM:-}" = windows ]; then
    echo "SKIP on Windows: $skip_reason"; exit 77
  fi
  # Everything after "--" is the program: one word on Linux, the emulator
  # and the program in a cross build ("wine .../tervala.exe").
  set -- "$@" "${args[@]}"
else
  want_exit=$1; out_re=$2; err_re=$3; shift 3
  [ "$1" = "--" ] && shift
fi
out=$(mktemp); err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
[ -n "$absent" ] && rm -f "$dir/$absent"
for f in "${before[@]+"${before[@]}"}"; do
  # Longer than any expected file, so a partial overwrite shows.
  rm -f "$dir/$f"; printf 'stale %.0s' {1..100} >"$dir/$f"
done
(cd "$dir" && "$@" <"$stdin" >"$out" 2>"$err")
status=$?
# Byte-exact comparisons come before any CR is dropped: a CR the program
# writes is a difference.
fail=0
if [ -n "${same_stdout:-}" ] && ! cmp -s "$same_stdout" "$out"; then
  echo "standard output differs from $same_stdout:"; cmp "$same_stdout" "$out"; od -c "$out" | head -5; fail=1
fi
for pair in "${same_files[@]+"${same_files[@]}"}"; do
  f=${pair%% *}; want=$INPUTS/${pair#* }; want=${want%% }
  if ! cmp -s "$want" "$dir/$f"; then
    echo "$f differs from $want:"; cmp "$want" "$dir/$f"; fail=1
  fi
done
# A Windows program under Wine may end its lines with CRLF where the same
# program on Linux writes LF: TERVALA_CHECK_STRIP_CR=1 drops the CRs.
if [ "${TERVALA_CHECK_STRIP_CR:-0}" = 1 ]; then
  sed -i 's/\r$//' "$out" "$err"
fi
if [ "$status" != "$want_exit" ]; then
  echo "exit status $status, expected $want_exit"; fail=1
fi
if [ -n "$out_re" ] && ! [[ "$(cat "$out")" =~ $out_re ]]; then
  echo "standard output does not match: $out_re"; fail=1
fi
if [ -n "$err_re" ] && ! [[ "$(cat "$err")" =~ $err_re ]]; then
  echo "standard error does not match: $err_re"; fail=1
fi
if [ -n "$absent" ] && [ -e "$dir/$absent" ]; then
  echo "$absent was written"; fail=1
fi
if [ $fail -ne 0 ]; then
  echo "--- command: $*"; echo "--- stdout:"; cat "$out"; echo "--- stderr:"; cat "$err"
fi
exit $fail
