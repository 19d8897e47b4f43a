#!/usr/bin/env bash
# Configures and builds the project into build/ with the default preset.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
