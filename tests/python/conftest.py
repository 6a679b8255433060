"""Shared helpers for the Python test suite (run against the installed module)."""
import os
import struct
import subprocess
import sys

import pytest


def bits(x: float) -> int:
    """The IEEE-754 bit pattern of a double, so -0.0 and NaN payloads compare exactly."""
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def same_bits(a, b) -> bool:
    """Bit-for-bit equality of floats, or of equally long sequences of floats/tuples."""
    if isinstance(a, (list, tuple)):
        return len(a) == len(b) and all(same_bits(x, y) for x, y in zip(a, b))
    return bits(a) == bits(b)


def run_python(code: str, env_extra=None, timeout=300) -> subprocess.CompletedProcess:
    """Runs code in a fresh interpreter (for thread counts, environment, crashes)."""
    env = dict(os.environ)
    env.pop("RAYON_NUM_THREADS", None)
    env.pop("RAYON_RS_NUM_CPUS", None)
    inherited = env.get("LD_PRELOAD")
    if env_extra:
        env.update(env_extra)
    if inherited and env_extra and "LD_PRELOAD" in env_extra:
        # A sanitizer's runtime preloaded into this interpreter must stay first.
        env["LD_PRELOAD"] = inherited + " " + env_extra["LD_PRELOAD"]
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          env=env, timeout=timeout)


@pytest.fixture
def qv():
    import _quorvex
    return _quorvex
