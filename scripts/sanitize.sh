#!/usr/bin/env bash
# Builds and runs the test suites under the sanitizers.
#
#   scripts/sanitize.sh asan   AddressSanitizer + UndefinedBehaviorSanitizer: the whole C++
#                              suite and the whole pytest suite (build/asan)
#   scripts/sanitize.sh tsan   ThreadSanitizer: the C++ pool, kernel and gemm tests (build/tsan)
#   scripts/sanitize.sh all    both (the default)
#
# Any sanitizer report fails the run: UBSan halts on its first finding, ASan and TSan abort.
# Works as root on a fresh Debian machine: it installs what it needs if it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
mode=${1:-all}
case "$mode" in asan | tsan | all) ;; *)
  echo "usage: $0 [asan|tsan|all]" >&2
  exit 2
  ;;
esac

ensure_tools() {
  if ! command -v g++ >/dev/null || [ ! -e /usr/include/gtest/gtest.h ]; then
    if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
      export DEBIAN_FRONTEND=noninteractive
      apt-get update -qq
      apt-get install -y -qq g++ libgtest-dev >/dev/null
    fi
  fi
  local missing=()
  python3 -c "import pytest" 2>/dev/null || missing+=("pytest>=7")
  python3 -c "import hypothesis" 2>/dev/null || missing+=("hypothesis>=6")
  python3 -c "import mpmath" 2>/dev/null || missing+=(mpmath)
  python3 -c "import numpy" 2>/dev/null || missing+=("numpy>=1.24")
  command -v cmake >/dev/null || missing+=(cmake)
  command -v ninja >/dev/null || missing+=(ninja)
  if [ ${#missing[@]} -gt 0 ]; then python3 -m pip install -q "${missing[@]}"; fi
}

# Some kernels place mappings where the sanitizers' shadow memory should go when address-space
# randomisation uses many bits; running without randomisation avoids that.
norandom() {
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    setarch "$(uname -m)" -R "$@"
  else
    "$@"
  fi
}

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

run_asan() {
  local dir=build/asan start=$SECONDS
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_BUILD_TESTS=ON \
    -DQUORVEX_WERROR=ON -DQUORVEX_SANITIZE=address,undefined >/dev/null
  cmake --build "$dir" -j"$(nproc)"
  echo "== asan: C++ suite"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1 \
    norandom "$dir/quorvex_cpp_tests" --gtest_brief=1
  echo "== asan: Python suite"
  local preload
  # libstdc++ must be loaded at start-up beside libasan: the interpreter is C, and ASan's
  # exception interceptor aborts the first C++ throw if it cannot find the real __cxa_throw.
  preload="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)"
  # CPython keeps its objects alive at exit, so the leak checker would only report the
  # interpreter; native leaks are covered by the C++ run and the RSS tests.
  # QUORVEX_SANITIZED tells the tests that need a plain allocator (address-space limits,
  # resident-size growth) to skip.
  (cd /tmp && LD_PRELOAD="$preload" ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
    QUORVEX_SANITIZED=address PYTHONPATH="$root/$dir/python" \
    norandom python3 -m pytest -q -p no:cacheprovider "$root/tests/python" \
    -k "not test_rss_stays_flat")
  # (Resident-size checks measure ASan's quarantine, not the module; they run in the plain
  # suite.)
  echo "== asan: done in $((SECONDS - start)) s"
}

run_tsan() {
  local dir=build/tsan start=$SECONDS
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_BUILD_TESTS=ON \
    -DQUORVEX_WERROR=ON -DQUORVEX_BUILD_MODULE=OFF -DQUORVEX_SANITIZE=thread >/dev/null
  cmake --build "$dir" -j"$(nproc)"
  echo "== tsan: pool, kernel and gemm tests"
  # Every suite that runs work on the pool: the pool itself, the chunked
  # arithmetic, the endpoint driver's parallel path, gemm and pooled matmul.
  local patterns=('*Pool*' '*Deque*' '*ThreadCount*' '*ChunkedExecution*' '*EndpointDriver*'
    '*Gemm*' '*Matmul*')
  local pattern listed
  for pattern in "${patterns[@]}"; do
    listed=$(norandom "$dir/quorvex_cpp_tests" --gtest_list_tests --gtest_filter="$pattern")
    if ! grep -q '^  ' <<<"$listed"; then
      echo "sanitize.sh: the TSan filter $pattern selects no test" >&2
      exit 1
    fi
  done
  local filter
  filter=$(IFS=:; echo "${patterns[*]}")
  # TSan cannot start threads in a child forked from a threaded process, so the fork test
  # runs only in the ASan suite.
  filter+='-GlobalPool.AForkedChildGetsAWorkingPool'
  # Several worker counts: the pool's stealing and sleeping paths differ with the count.
  local threads
  for threads in 2 3 8; do
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 RAYON_NUM_THREADS=$threads \
      norandom "$dir/quorvex_cpp_tests" --gtest_brief=1 \
      --gtest_filter="$filter"
  done
  echo "== tsan: done in $((SECONDS - start)) s"
}

ensure_tools
case "$mode" in
  asan) run_asan ;;
  tsan) run_tsan ;;
  all)
    run_asan
    run_tsan
    ;;
esac
