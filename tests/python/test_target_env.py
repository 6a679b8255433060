"""QUORVEX_TARGET caps the kernel target, read once in a fresh process."""
import random

import pytest

from conftest import run_python

# The flags each target stands for.
TARGET_FLAGS = {
    "avx512": {"avx", "avx2", "fma", "avx512f", "avx512dq"},
    "fma": {"avx", "avx2", "fma"},
    "avx2": {"avx", "avx2"},
    "avx": {"avx"},
    "sse2": set(),
}


def spread_values():
    r = random.Random(7)
    return [r.uniform(-1, 1) * 2.0 ** r.randint(-40, 40) for _ in range(1003)]


# The target, the flags, and a sum whose last bits depend on the order of additions.
PROBE = (
    "import _quorvex as q, random\n"
    "r = random.Random(7)\n"
    "xs = [r.uniform(-1, 1) * 2.0 ** r.randint(-40, 40) for _ in range(1003)]\n"
    "print(q._target(), q.array(xs).sum()[0].hex(), *q._features())\n"
)


def probe(value):
    result = run_python(PROBE, None if value is None else {"QUORVEX_TARGET": value})
    assert result.returncode == 0, result.stderr
    target, total, *flags = result.stdout.split()
    return target, set(flags), total


@pytest.fixture(scope="module")
def native():
    return probe(None)


@pytest.mark.parametrize("target", list(TARGET_FLAGS))
def test_a_supported_target_caps_the_kernels(target, native):
    got_target, got_flags, total = probe(target)
    if TARGET_FLAGS[target] <= native[1]:
        assert (got_target, got_flags) == (target, TARGET_FLAGS[target])
        if target == "sse2":
            in_order = -0.0
            for x in spread_values():
                in_order += x
            assert total == in_order.hex(), "the baseline sums in element order"
    else:  # above this processor: ignored
        assert (got_target, got_flags, total) == native


@pytest.mark.parametrize("value", ["", "AVX2", "avx2 ", "sse", "avx-512", "native"])
def test_unknown_values_are_ignored(value, native):
    assert probe(value) == native
