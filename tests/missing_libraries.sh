#!/usr/bin/env bash
# The command line where libsndfile, libsoxr and aubio cannot be loaded (empty
# stand-ins of the same names come first on the library path): a plain WAV
# file still converts with --adapt and takes its tempo from its length with
# --bpm auto --measure N, and --info names the package a file would need.
#   tests/missing_libraries.sh LOOPSMITH_CLI
set -euo pipefail
cli=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for name in libsndfile.so.1 libsoxr.so.0 libaubio.so.5; do
  cc -shared -o "$work/$name" -x c /dev/null
done
export LD_LIBRARY_PATH=$work
cd "$work"
# Two measures at 120 BPM, and a 48 kHz file.
python3 - <<'PY'
import wave
for name, rate, frames in (("two.wav", 44100, 176400), ("hi.wav", 48000, 48000)):
    with wave.open(name, "wb") as out:
        out.setnchannels(1); out.setsampwidth(2); out.setframerate(rate)
        out.writeframes(bytes(2 * frames))
PY
failed=0
check() {  # what, expected status, grep pattern of stderr (or -), command...
  local what=$1 want=$2 pattern=$3 status=0
  shift 3
  "$@" >out 2>err || status=$?
  if ((status != want)) || { [[ $pattern != - ]] && ! grep -q -- "$pattern" err; }; then
    echo "missing libraries: $what: exit $status, said: $(cat err)"
    failed=1
  fi
}
check "--bpm auto --measure 2 on a plain WAV" 0 - "$cli" --bpm auto --measure 2 two.wav
cmp -s <(head -c 21 L01.T58 | tail -c 2 | od -An -tx1 | tr -d ' \n') <(printf 04b0) ||
  { echo "missing libraries: the tempo is not 120.0 BPM"; failed=1; }
check "--adapt --bpm auto --measure 2 on a plain WAV" 0 - "$cli" --adapt --bpm auto --measure 2 two.wav
check "--info on a 48 kHz WAV" 1 libsndfile1 "$cli" --info hi.wav
check "--adapt on a 48 kHz WAV" 1 libsndfile1 "$cli" --adapt hi.wav
check "--bpm auto without --measure" 1 libsndfile1 "$cli" --bpm auto two.wav
((failed == 0)) && echo "missing libraries: 5 cases right"
exit $failed
