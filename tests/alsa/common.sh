# Sourced by the ALSA test groups, which run inside the VM of scripts/alsa-vm.sh with the build
# folder as their first argument. Each case reports one line; the group fails if any case did.
set -uo pipefail
build=${1:?usage: GROUP.sh BUILD_DIR}
bin=$build/bin
tests=$build/tests
work=$(mktemp -d)
failures=0
cases=0
helpers=()

finish() {
  for pid in "${helpers[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  echo "$((cases - failures)) passed, $failures failed"
  ((failures == 0))
}
trap 'finish; exit $?' EXIT

pass() { cases=$((cases + 1)); echo "PASS $*"; }
fail() {
  cases=$((cases + 1)) failures=$((failures + 1))
  echo "FAIL $*"
}
# Runs a case's check in this shell (it may wait for the helpers); its output is shown only when
# it fails.
check() {
  local name=$1 start=$SECONDS
  shift
  if "$@" >"$work/case.out" 2>&1; then pass "$name ($((SECONDS - start)) s)"; else
    fail "$name ($((SECONDS - start)) s)"
    tail -25 "$work/case.out" | cut -c1-300 | sed 's/^/    /'
  fi
}

[[ -e /dev/snd/seq ]] || { echo "FAIL no ALSA sequencer in this machine"; failures=1; exit 1; }

# The device name quorle-cli lists for the sequencer port whose name ends in PORT, among its
# inputs or its outputs (a program's two ports may belong to two clients).
port() {
  local side=$1 name=$2
  "$bin/quorle-cli" devices | sed -n "/^MIDI ${side}s/,/^MIDI/p" |
    sed -n "s/^ *[0-9]\+  \(.*:$name [0-9]\+:[0-9]\+\)\$/\1/p" | head -1
}

# Waits until the sequencer lists a client whose name holds TEXT.
wait_for_client() {
  for _ in $(seq 600); do
    grep -q "$1" /proc/asound/seq/clients && return 0
    sleep 0.1
  done
  return 1
}

# quorle-cli with a Library and settings of this run's own.
cli() {
  "$bin/quorle-cli" --library "$work/library.sqlite" "$@"
}

# Whether the instrument answers an identity request; each group defines andromeda() (quorle-cli
# with its ports).
identity() { andromeda check | tee /dev/stderr | grep -q "Andromeda"; }
