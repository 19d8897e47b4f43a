#!/usr/bin/env bash
# Sets everything up and runs the module through a host written in C.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
echo "== an unknown command: result 2 and no messages"
build/bin/vardobk_host_smoke 7 || true
echo "== a backup without host parameters: result 2 and the module's message"
build/bin/vardobk_host_smoke 1 || true
