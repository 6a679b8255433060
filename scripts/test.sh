#!/usr/bin/env bash
# Installs what the tests need, builds and installs the project, then runs the
# C++ unit tests, the instruction-set check, the type checks and the Python
# test suite: whole on the processor's own target, then its target-dependent
# part once more for every lower target the processor supports (through
# QUORVEX_TARGET).
#
# Everything goes into the environment of `python3` as found on PATH: the
# active venv when there is one, else that interpreter's own site-packages (a
# distribution that refuses system-wide pip makes this fail: use a venv). pip
# itself is left as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# GoogleTest comes from Debian's libgtest-dev: installed here when missing and
# running as root (as CI does), otherwise named before anything is built.
if [ ! -f /usr/include/gtest/gtest.h ]; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    echo "test.sh: installing Debian's libgtest-dev"
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev >/dev/null
  else
    echo "test.sh: the C++ tests need GoogleTest: sudo apt-get install libgtest-dev" >&2
    exit 1
  fi
fi

deps=("pytest>=7" "hypothesis>=6" "numpy>=1.25" "mypy>=1.18" "dask[distributed]" mpmath cmake
      ninja "scikit-build-core>=0.10")
echo "test.sh: installing into $(python3 -c 'import sys; print(sys.prefix)'): ${deps[*]}, then quorvex"
python3 -m pip install -q "${deps[@]}"
python3 -m pip install -q --no-build-isolation --force-reinstall --no-deps .

cmake -S . -B build/tests -G Ninja -DQUORVEX_BUILD_TESTS=ON -DQUORVEX_WERROR=ON >/dev/null
cmake --build build/tests -j"$(nproc)"
build/tests/quorvex_cpp_tests --gtest_brief=1
python3 scripts/check_isa.py build/tests

# From outside the source tree, so the installed module is the one imported.
cd /tmp
python3 -m mypy.stubtest _quorvex
python3 -m mypy --strict --cache-dir "$root/build/mypy-cache" "$root/examples" "$root/python/quorvex"
python3 -m pytest -q -p no:cacheprovider "$root/tests/python"
native=$(python3 -c "import _quorvex; print(_quorvex._target())")
for target in avx512 fma avx2 avx sse2; do
  [ "$target" = "$native" ] && continue
  # A target above the processor is ignored, so the module reports the native one.
  got=$(QUORVEX_TARGET=$target python3 -c "import _quorvex; print(_quorvex._target())")
  [ "$got" = "$target" ] || continue
  echo "== QUORVEX_TARGET=$target: the target-dependent tests"
  QUORVEX_TARGET=$target python3 -m pytest -q -p no:cacheprovider \
    "$root/tests/python/test_arithmetic.py" "$root/tests/python/test_math.py" \
    "$root/tests/python/test_reduction.py" "$root/tests/python/test_matmul.py" \
    "$root/tests/python/test_ballarray.py"
done
