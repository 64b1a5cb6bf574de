#!/usr/bin/env bash
# The WebAssembly module against loopsmith-cli on the same files: the inputs
# of the native tests' fuzz corpora and seeds, and sox's files. Every output
# byte and every message must be the same.
#   bash tests/web/compare_module.sh build-web/web/loopsmith_module.js build/cli/loopsmith-cli build-fuzz/fuzz/make_fuzz_seeds
set -euo pipefail
module=$(realpath "$1")
cli=$(realpath "$2")
seeds=${3:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"
# Corpus files have no extension: each is taken as what its fuzz target reads.
for target in wave_load job adapt; do
  for f in "$root"/fuzz/regressions/$target/*; do [[ -f $f ]] && cp "$f" "$work/in/$target-$(basename "$f").wav"; done
done
for f in "$root"/fuzz/regressions/loop_read/*; do [[ -f $f ]] && cp "$f" "$work/in/loop-$(basename "$f").t58"; done
if [[ -n $seeds ]]; then
  "$seeds" "$work/seeds" >/dev/null
  for f in "$work"/seeds/wave_load/* "$work"/seeds/job/*; do [[ -f $f ]] && cp "$f" "$work/in/seed-$(basename "$f").wav"; done
  for f in "$work"/seeds/loop_read/*; do [[ -f $f ]] && cp "$f" "$work/in/seed-$(basename "$f").t58"; done
fi
sox -n -r 44100 -b 16 -c 2 "$work/in/stereo.wav" synth 7 pinknoise 2>/dev/null
sox -n -r 44100 -b 16 -c 1 "$work/in/mono short.WAV" synth 0.3 sine 220 2>/dev/null
sox -n -r 48000 -b 24 -c 2 "$work/in/hi.wav" synth 1 sine 220 2>/dev/null
node "$root/tests/web/module_convert.cjs" "$module" "$work/in" "$work/web"
# The command line, one file at a time in a folder of its own, with the same choices.
failed=0
count=0
while IFS=$'\t' read -r name message; do
  count=$((count + 1))
  rm -rf "$work/one" && mkdir -p "$work/one" && cp "$work/in/$name" "$work/one/"
  set +e
  (cd "$work/one" && "$cli" --bpm 128.5 --measure 2 --number 7 "$name" >"$work/out" 2>"$work/err")
  status=$?
  set -e
  said=$(head -n 1 "$work/err" | sed "s|^loopsmith-cli: $name: ||")
  if [[ $message == - ]]; then
    output=$(cat "$work/out")
    if [[ $status != 0 ]] || ! cmp -s "$work/one/$output" "$work/web/$name.$output"; then
      echo "$name: the module wrote $(ls "$work/web" | grep -c "^$name\.") file, the command line said: $said"
      failed=1
    fi
  elif [[ $status == 0 || $said != "$message" ]]; then
    echo "$name: the module said \"$message\", the command line \"$said\" (status $status)"
    failed=1
  fi
done <"$work/web/messages.tsv"
((failed == 0)) && echo "the module wrote and said the same as loopsmith-cli for $count files"
exit $failed
