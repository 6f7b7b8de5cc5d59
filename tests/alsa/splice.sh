# A whole Program bank written at once to the raw side of a virtual card: the kernel cuts it
# into 256-byte events faster than any reader, and the receiving client's input overflows. Each
# fetch must end with the bank byte for byte, or with no file and a reason; never a wrong file.
source "$(dirname "$0")/common.sh"

"$tests/quorle-raw-andromeda" --print-bank program 0 >"$work/expected.syx"
"$tests/quorle-raw-andromeda" --device /dev/snd/midiC0D1 --burst >"$work/raw.log" 2>&1 &
helpers+=($!)
device=$(port input "VirMIDI 0-1")
[[ -n $device ]] || { fail "VirMIDI 0-1 is listed"; exit; }

# Two busy processes keep Quorle's reading thread from the processors now and then, as a busy
# desktop would: the burst then overflows its input in most fetches.
for _ in 1 2; do
  sh -c 'while :; do :; done' &
  helpers+=($!)
done
exact=0 overflowed=0
# Fetches go on until two of them overflowed (at least three, at most ten).
for run in $(seq 10); do
  ((run > 3 && overflowed >= 2)) && { run=$((run - 1)); break; }
  rm -f "$work/bank.syx"
  cli --in "$device" --out "$device" --midi-log "$work/midi-$run.log" \
    get-program-bank --bank 0 -o "$work/bank.syx" >"$work/out" 2>"$work/err"
  status=$?
  said=$(grep -v "^MIDI:\|^MidiIn\|^System reports\|^ *$" "$work/err" | tail -1)
  [[ -n $said ]] || said=$(tail -1 "$work/out")
  [[ $said == *overflowed* ]] && overflowed=$((overflowed + 1))
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
echo "$exact of $run burst fetches byte-exact, $overflowed reported an overflow"
# Without an overflow this group proved nothing.
((overflowed > 0)) || fail "the bursts overflowed Quorle's input at least once"
