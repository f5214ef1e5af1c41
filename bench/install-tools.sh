#!/usr/bin/env bash
# The project's packages plus the encoder tools the benchmarks make their inputs with.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
if ! command -v lame >/dev/null || ! command -v sox >/dev/null || [ ! -x /usr/bin/time ]; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get install -y -qq sox lame time
fi
