#!/usr/bin/env bash
# Installs what the tests need, builds and installs the module, then runs the
# C++ unit tests and the Python test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

python3 -m pip install -q --upgrade pip >/dev/null 2>&1 || true
python3 -m pip install -q "pytest>=7" "hypothesis>=6" "numpy>=1.24" cmake ninja "scikit-build-core>=0.10"
python3 -m pip install -q --no-build-isolation --force-reinstall --no-deps .

cmake -S . -B build/tests -G Ninja -DQUORVEX_BUILD_MODULE=OFF -DQUORVEX_BUILD_TESTS=ON >/dev/null
cmake --build build/tests -j"$(nproc)"
build/tests/quorvex_cpp_tests --gtest_brief=1

# From outside the source tree, so the installed module is the one imported.
cd /tmp && python3 -m pytest -q -p no:cacheprovider "$root/tests/python"
