# quorle-cli against quorle-sim, both on the sequencer: every kind of exchange once.
source "$(dirname "$0")/common.sh"

sim=(--sim-seed 3 --sim-program-card-banks 0 --sim-mix-card-banks 0)
"$bin/quorle-sim" "${sim[@]}" --sim-rate instant >"$work/sim.log" 2>&1 &
sim_pid=$!
helpers+=($sim_pid)
wait_for_client "quorle-sim\|Simulated Andromeda" || { fail "quorle-sim is on the sequencer"; exit; }
sleep 0.5
from=$(port input "Simulated Andromeda")
to=$(port output "Simulated Andromeda")
[[ -n $from && -n $to ]] || { fail "quorle-sim's ports are listed"; exit; }
andromeda() { cli --in "$from" --out "$to" "$@"; }

raw() { "$tests/quorle-raw-andromeda" "${sim[@]}" "$@"; }
raw --print-bank program 0 >"$work/programs.syx"
raw --print-global >"$work/global.syx"
raw --sim-seed 9 --print-bank mix 0 >"$work/other-mixes.syx"
raw --sim-seed 9 --print-global >"$work/other-global.syx"
cmp -s "$work/global.syx" "$work/other-global.syx" && fail "two seeds give two Global Data"

check "check: the identity reply names the Andromeda" identity

single() {
  andromeda get-program --bank 0 --number 5 -o "$work/p5.syx" &&
    cmp "$work/p5.syx" <(dd if="$work/programs.syx" bs=2350 skip=5 count=1 status=none)
}
check "get-program: one dump byte for byte" single

bank_in() {
  andromeda get-program-bank --bank 0 -o "$work/bank.syx" && cmp "$work/bank.syx" "$work/programs.syx"
}
check "get-program-bank: the bank byte for byte" bank_in

global_in() { andromeda get-global -o "$work/g.syx" && cmp "$work/g.syx" "$work/global.syx"; }
check "get-global: the Global Data (18,183 bytes) byte for byte" global_in

backup() {
  andromeda backup "$work/backup" && cmp "$work/backup/Programs User.syx" "$work/programs.syx" &&
    cmp "$work/backup/Global Data.syx" "$work/global.syx"
}
check "backup: the User banks and the Global Data" backup

bank_out() {
  andromeda send-mix-bank "$work/other-mixes.syx" --bank 0 --verify | tee /dev/stderr |
    grep -q "verified" &&
    andromeda get-mix-bank --bank 0 -o "$work/mixes-back.syx" &&
    cmp "$work/mixes-back.syx" "$work/other-mixes.syx"
}
check "send-mix-bank --verify: read back and fetched again byte for byte" bank_out

global_out() {
  andromeda send-global "$work/other-global.syx" &&
    andromeda get-global -o "$work/g2.syx" && cmp "$work/g2.syx" "$work/other-global.syx"
}
check "send-global: the Global Data arrives whole" global_out

restore() {
  andromeda restore "$work/backup" --yes --only global &&
    andromeda get-global -o "$work/g3.syx" && cmp "$work/g3.syx" "$work/global.syx"
}
check "restore --only global: the backed-up Global Data is back" restore

# An instrument that stops reading: once its input pool is full the sequencer refuses the next
# event, and the send fails with alsa-lib's words instead of counting as sent.
refused() {
  kill -STOP "$sim_pid"
  andromeda send-mix-bank "$work/other-mixes.syx" --bank 0 --no-keep-copy >"$work/refused.out" 2>&1
  local status=$?
  kill -CONT "$sim_pid"
  cat "$work/refused.out"
  ((status != 0)) && grep -q "^MIDI: snd_seq_event_output_direct failed" "$work/refused.out"
}
check "send-mix-bank to an instrument that stopped reading fails, never counted as sent" refused

# The destination going mid-send (its program ended): the sequencer would take what follows for
# no one, and the send fails instead of counting as sent.
gone() {
  andromeda --midi-log "$work/gone.log" send-mix-bank "$work/other-mixes.syx" --bank 0 \
    --no-keep-copy >"$work/gone.out" 2>&1 &
  local cli_pid=$! status
  for _ in $(seq 600); do
    grep -q "^[0-9]* > " "$work/gone.log" 2>/dev/null && break
    sleep 0.05
  done
  kill -KILL "$sim_pid"
  wait "$cli_pid"
  status=$?
  cat "$work/gone.out"
  ((status != 0)) && grep -q "^MIDI: .*Simulated Andromeda.* is gone" "$work/gone.out"
}
check "send-mix-bank to an instrument whose program ends on the way fails" gone
