#!/usr/bin/env bash
# Sets up what is missing and builds the editor.
set -euo pipefail
cd "$(dirname "$0")/.."

"scripts/setup.sh"
cmake -S . -B build -G Ninja
cmake --build build
