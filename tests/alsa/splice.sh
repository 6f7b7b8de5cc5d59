# A whole Program bank written to the raw side of a virtual card in one write: the kernel cuts it
# into 256-byte events faster than any reader, and the receiving client's input overflows. Each
# fetch must end with the bank byte for byte, or with no file and a reason; never a wrong file.
source "$(dirname "$0")/common.sh"

"$tests/quorle-raw-andromeda" --print-bank program 0 >"$work/expected.syx"
"$tests/quorle-raw-andromeda" --device /dev/snd/midiC0D1 --burst >"$work/raw.log" 2>&1 &
helpers+=($!)
device=$(port input "VirMIDI 0-1")
[[ -n $device ]] || { fail "VirMIDI 0-1 is listed"; exit; }

exact=0
for run in 1 2 3 4; do
  rm -f "$work/bank.syx"
  cli --in "$device" --out "$device" --midi-log "$work/midi-$run.log" \
    get-program-bank --bank 0 -o "$work/bank.syx" >"$work/out" 2>"$work/err"
  status=$?
  said=$(grep -v "^MIDI:\|^MidiIn\|^System reports\|^ *$" "$work/err" | tail -1)
  [[ -n $said ]] || said=$(tail -1 "$work/out")
  if ((status == 0)) && cmp -s "$work/bank.syx" "$work/expected.syx"; then
    exact=$((exact + 1))
    pass "burst fetch $run: the bank byte for byte ($said)"
  elif ((status == 0)); then
    mkdir -p "$ALSA_VM_KEEP/splice-$run" && cp "$work/bank.syx" "$work/midi-$run.log" "$ALSA_VM_KEEP/splice-$run/"
    fail "burst fetch $run: exit 0 with a wrong bank: $(cmp "$work/bank.syx" "$work/expected.syx" 2>&1) ($said)"
  elif [[ -e $work/bank.syx ]]; then
    fail "burst fetch $run: exit $status, yet a file was written ($said)"
  elif [[ -z $said ]]; then
    fail "burst fetch $run: exit $status without a reason"
  else
    pass "burst fetch $run: no file, exit $status: $said"
  fi
done
echo "$exact of 4 burst fetches byte-exact"
