#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
ctest --preset default "$@"
