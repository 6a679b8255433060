#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format (the pinned
# version, with the committed .clang-format) would make of it.
set -euo pipefail
cd "$(dirname "$0")/.."
python3 -m pip install -q "clang-format==23.1.5" >/dev/null
git ls-files '*.cpp' '*.hpp' '*.inc' | xargs clang-format --dry-run -Werror
echo "format: clean"
