#!/usr/bin/env bash
# Sets up what is missing, builds, and starts the editor (with the sample
# configuration beside it; try File > Open on examples/doc.xml).
set -euo pipefail
cd "$(dirname "$0")/.."

"scripts/setup.sh"
cmake -S . -B build -G Ninja
cmake --build build
exec build/src/app/tarnwell-xml-editor "$@"
