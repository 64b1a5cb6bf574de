#!/usr/bin/env bash
# Kills a conversion at every system call it makes (strace's fault injection)
# and checks what is left, for an output that is new, one that replaces a
# file, one that is copied over a file with a second hard link, the run that
# puts back such a copy left torn with its journal, and a card's swap:
#   - a look (`--info`) changes nothing in the folder;
#   - the output's name holds the old loop or the new one, whole, once the
#     next output into the folder has run (it puts a journal back);
#   - no file of ours is left in the folder once the next output is written
#     there (it removes the strays of a killed run).
#   tests/kill_sweep.sh LOOPSMITH_CLI
# Skipped, with a line saying so, where strace or sox is missing.
set -euo pipefail
cli=$(realpath "$1")
for tool in strace sox; do
  if ! command -v "$tool" >/dev/null; then
    echo "kill sweep: skipped, $tool is not installed"
    exit 0
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/ref"
sox -n -r 44100 -c 2 -b 16 "$work/ref/old.wav" synth 1 square 220
sox -n -r 44100 -c 2 -b 16 "$work/new.wav" synth 1.5 sine 330
cp "$work/new.wav" "$work/ref/new.wav"
(cd "$work/ref" && "$cli" old.wav >/dev/null && mv L01.T58 old.T58 &&
  "$cli" new.wav >/dev/null && mv L01.T58 new.T58)

# $1: the case; makes $work/run as that case finds it.
lay_out() {
  rm -rf "$work/run" && mkdir "$work/run"
  cp "$work/new.wav" "$work/run/take.wav"
  case $1 in
    new) ;;
    replace) cp "$work/ref/old.T58" "$work/run/L01.T58" ;;
    linked)
      cp "$work/ref/old.T58" "$work/run/L01.T58"
      ln "$work/run/L01.T58" "$work/run/card.T58"
      ;;
    putback)
      # A copy of the folder would give the files new identities, which the
      # journal refuses: the torn state is made again, by the same kill.
      lay_out linked
      kill_at "$torn" take.wav
      ;;
  esac
}

# Every name in the run's folder with its size and bytes.
state() { (cd "$work/run" && find . -exec ls -ld --time-style=+ {} + | awk '{print $5, $NF}' | sort &&
  find . -type f -exec md5sum {} + | sort) || true; }

points=0
failures=0
# Calls that touch no file (the process starting, memory) cannot leave one
# behind; killing there tells nothing.
skip() {
  case $1 in
    execve | exit_group | brk | mmap | munmap | mprotect | arch_prctl | set_tid_address | \
      set_robust_list | rseq | prlimit64 | getrandom | futex | rt_sigaction | rt_sigprocmask) return 0 ;;
  esac
  return 1
}
# $1: a call as calls_of gives it; the rest: the run killed there.
kill_at() {
  # The shell's own "Killed" line goes nowhere too.
  { (cd "$work/run" && strace -f -qq -o /dev/null -e trace="${1%%:*}" \
    -e inject="${1%%:*}":signal=KILL:when="${1##*:}" "$cli" "${@:2}") >/dev/null 2>&1; } 2>/dev/null || true
}
torn=""
# The calls of one traced run, each as its name and its count among calls of
# that name, which is what strace's injection counts.
calls_of() {
  mapfile -t calls < <(sed -E 's/^[0-9]+ +//; s/\(.*//' "$work/trace" | grep -E '^[a-z_0-9]+$' |
    awk '{ seen[$1]++; print $1 ":" seen[$1] }')
}
# $1: the case, $2 $3: the run that is killed. Kills it at each call in turn
# and judges what is left once a look and the next output have run.
sweep() {
  local case=$1 call name nth verdict before after strays
  lay_out "$case"
  (cd "$work/run" && strace -f -qq -o "$work/trace" "$cli" "${@:2}" >/dev/null)
  calls_of
  for call in "${calls[@]}"; do
    name=${call%%:*} nth=${call##*:}
    skip "$name" && continue
    lay_out "$case"
    kill_at "$call" "${@:2}"
    points=$((points + 1))
    verdict=""
    # The first copy over the linked file cut off with L01.T58 torn is kept:
    # the run that puts it back is killed in turn below.
    if [[ $case == linked && -z $torn ]] && ls -A "$work/run" | grep -qE '^\.loopsmith-journal-' &&
      ! cmp -s "$work/run/L01.T58" "$work/ref/old.T58" && ! cmp -s "$work/run/L01.T58" "$work/ref/new.T58"; then
      torn=$call
    fi
    # A look writes nothing; the next output into the folder puts a journal back.
    before=$(state)
    (cd "$work/run" && "$cli" --info L01.T58 . >/dev/null 2>&1) || true
    after=$(state)
    [[ $before == "$after" ]] || verdict="--info changed the folder"
    (cd "$work/run" && "$cli" --number 3 take.wav >/dev/null 2>&1) || true
    if [[ -n $verdict ]]; then
      :
    elif [[ -e $work/run/L01.T58 ]]; then
      if ! (cd "$work/run" && "$cli" --info L01.T58 >/dev/null 2>&1); then
        verdict="--info refuses L01.T58"
      elif ! cmp -s "$work/run/L01.T58" "$work/ref/old.T58" &&
        ! cmp -s "$work/run/L01.T58" "$work/ref/new.T58"; then
        verdict="L01.T58 is neither the old loop nor the new one"
      elif [[ -e $work/run/card.T58 ]] && ! cmp -s "$work/run/L01.T58" "$work/run/card.T58"; then
        verdict="the hard links differ"
      fi
    elif [[ $case != new ]]; then
      verdict="L01.T58 is gone"
    fi
    if [[ -z $verdict ]]; then
      strays=$(cd "$work/run" && ls -A | grep '^\.loopsmith-' || true)
      [[ -z $strays ]] || verdict="left behind: $strays"
    fi
    if [[ -n $verdict ]]; then
      failures=$((failures + 1))
      echo "kill sweep: $case, killed at $name #$nth: $verdict"
    fi
  done
}
for case in new replace linked; do
  sweep "$case" take.wav
done
# The run that puts a torn copy's journal back, killed at each call.
if [[ -n $torn ]]; then
  sweep putback --number 2 take.wav
else
  failures=$((failures + 1))
  echo "kill sweep: no kill left a copy torn with its journal, so no put-back was killed"
fi
# A card's swap killed at each call: once the next operation on the card has
# run, numbers 3 and 7 hold the two loops, swapped or not, and nothing else is left.
lay_swap() {
  rm -rf "$work/run" && mkdir "$work/run"
  cp "$work/ref/old.T58" "$work/run/L03.T58"
  cp "$work/ref/new.T58" "$work/run/L07.T58"
}
lay_swap
(cd "$work/run" && strace -f -qq -o "$work/trace" "$cli" --swap 3 7 . >/dev/null)
calls_of
for call in "${calls[@]}"; do
  name=${call%%:*} nth=${call##*:}
  skip "$name" && continue
  lay_swap
  { (cd "$work/run" && strace -f -qq -o /dev/null -e trace="$name" \
    -e inject="$name":signal=KILL:when="$nth" "$cli" --swap 3 7 .) >/dev/null 2>&1; } 2>/dev/null || true
  points=$((points + 1))
  (cd "$work/run" && "$cli" --remove 49 . >/dev/null 2>&1) || true
  left=$(cd "$work/run" && ls -A | tr '\n' ' ')
  # A missing loop fails the cat; under pipefail that must not end the sweep.
  pair=$(cd "$work/run" && cat L03.T58 L07.T58 2>/dev/null | md5sum || true)
  if [[ $left != "L03.T58 L07.T58 " ]] ||
    { [[ $pair != "$(cat "$work/ref/old.T58" "$work/ref/new.T58" | md5sum)" ]] &&
      [[ $pair != "$(cat "$work/ref/new.T58" "$work/ref/old.T58" | md5sum)" ]]; }; then
    failures=$((failures + 1))
    echo "kill sweep: swap, killed at $name #$nth: left $left"
  fi
done
echo "kill sweep: $points kill points, $failures wrong"
((failures == 0))
