#!/usr/bin/env bash
# Runs the Linux and the Windows command line on the same files and compares
# every file written, every line printed (CR LF read as LF) and every exit
# status: WAV to loop, loop to WAV, a batch, naming and usage errors.
#   bash scripts/compare-windows-cli.sh build/cli/loopsmith-cli build-windows/cli/loopsmith-cli.exe
set -euo pipefail
linux=$(realpath "$1")
windows=$(realpath "$2")
wine_run=$(realpath "$(dirname "$0")/wine-run.sh")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"
sox -n -r 44100 -b 16 -c 2 "$work/in/stereo take.wav" synth 3 pinknoise 2>/dev/null
sox -n -r 44100 -b 16 -c 1 "$work/in/mono.WAV" synth 1 sine 220 2>/dev/null
sox -n -r 48000 -b 24 -c 2 "$work/in/hi.wav" synth 1 sine 220 2>/dev/null
printf 'RIFF' >"$work/in/bad.wav"
# Links to files that are not there: the file is created through the link, or
# refused where its folder is missing too (wine hides such a link from Windows calls).
mkdir "$work/in/card"
ln -s card/L05.T58 "$work/in/L05.T58"
ln -s nowhere/L06.T58 "$work/in/L06.T58"
cases=(
  "--bpm 128.5 --measure 2 --number 7|stereo take.wav"
  "--measure off --number 9|mono.WAV|stereo take.wav|hi.wav|bad.wav|notes.txt"
  "|L07.T58"
  "--bpm 12|mono.WAV"
  "--number 5|mono.WAV"
  "--number 6|mono.WAV"
  "--info|L07.T58|mono.WAV|bad.wav"  # libsndfile's view of other files is Linux's only
)
"$wine_run" --warm
failed=0
for i in "${!cases[@]}"; do
  IFS='|' read -r -a parts <<<"${cases[$i]}"
  read -r -a options <<<"${parts[0]}"
  files=("${parts[@]:1}")
  for side in linux windows; do
    rm -rf "$work/$side" && cp -r "$work/in" "$work/$side"
    # The loop file of case 1 is the input of case 3, on each side its own.
    [[ -f $work/out-$side/L07.T58 ]] && cp "$work/out-$side/L07.T58" "$work/$side/"
    set +e
    if [[ $side == linux ]]; then
      (cd "$work/$side" && "$linux" "${options[@]}" "${files[@]}" >../stdout-$side 2>../stderr-$side)
    else
      (cd "$work/$side" && "$wine_run" "$windows" "${options[@]}" "${files[@]}" \
        >../stdout-$side 2>../stderr-$side)
    fi
    echo $? >"$work/status-$side"
    set -e
    sed -i 's/\r$//; s/loopsmith-cli\.exe/loopsmith-cli/g' "$work/stdout-$side" "$work/stderr-$side"
    mkdir -p "$work/out-$side" && cp -r "$work/$side/." "$work/out-$side/"
  done
  for what in status stdout stderr; do
    if ! cmp -s "$work/$what-linux" "$work/$what-windows"; then
      echo "case $((i + 1)) (${cases[$i]}): $what differs"
      diff "$work/$what-linux" "$work/$what-windows" | head -5
      failed=1
    fi
  done
  if ! diff -r --no-dereference "$work/linux" "$work/windows" >/dev/null; then
    echo "case $((i + 1)) (${cases[$i]}): the files written differ"
    diff -rq --no-dereference "$work/linux" "$work/windows" | head -5
    failed=1
  fi
done
# cmd.exe leaves wildcards to the program: the Windows build expands them, in
# any case of letters, and keeps a pattern that matches nothing as it was.
mkdir -p "$work/glob" && cp "$work/out-linux/L07.T58" "$work/glob/"
(cd "$work/glob" && "$linux" --info L07.T58 '*.xyz' >../glob-linux 2>&1) || true
(cd "$work/glob" && "$wine_run" "$windows" --info '*.t58' '*.xyz' >../glob-windows 2>&1) || true
sed -i 's/\r$//; s/loopsmith-cli\.exe/loopsmith-cli/g' "$work/glob-windows"
if ! cmp -s "$work/glob-linux" "$work/glob-windows"; then
  echo "wildcards: the Windows command line did not expand them"
  diff "$work/glob-linux" "$work/glob-windows" | head -5
  failed=1
fi
((failed == 0)) && echo "the Windows command line wrote and said the same as the Linux one in ${#cases[@]} cases and expanded wildcards"
exit $failed
