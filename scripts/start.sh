#!/usr/bin/env bash
# Sets up the machine, builds the program and starts it. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
if [[ -x build/bin/quorle ]]; then
  exec build/bin/quorle "$@"
fi
exec build/bin/quorle-cli "$@"
