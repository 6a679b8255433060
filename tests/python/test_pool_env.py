"""Pool size from RAYON_NUM_THREADS / RAYON_RS_NUM_CPUS, read once in a fresh process."""
import os
import subprocess
import sys

import pytest

from conftest import run_python

NUM_THREADS = "import _quorvex; print(_quorvex.num_threads())"


def num_threads_with(env):
    result = run_python(NUM_THREADS, env)
    assert result.returncode == 0, result.stderr
    return int(result.stdout)


@pytest.fixture(scope="module")
def default_count():
    """The processor-count default, asked from a process with neither variable set."""
    count = num_threads_with({})
    assert 1 <= count <= len(os.sched_getaffinity(0))
    return count


@pytest.mark.parametrize(
    "num_threads, rs_num_cpus, expected",
    [
        ("3", None, 3),
        ("+3", None, 3),
        ("3", "5", 3),
        ("abc", "5", 5),
        (" 3", "5", 5),
        ("-3", "5", 5),
        ("", "5", 5),
        ("++3", "7", 7),
        ("18446744073709551616", "4", 4),
        ("100000", None, 65535),
        (None, "100000", 65535),
        ("18446744073709551615", None, 65535),
    ],
)
def test_explicit_counts(num_threads, rs_num_cpus, expected):
    env = {}
    if num_threads is not None:
        env["RAYON_NUM_THREADS"] = num_threads
    if rs_num_cpus is not None:
        env["RAYON_RS_NUM_CPUS"] = rs_num_cpus
    assert num_threads_with(env) == expected


@pytest.mark.parametrize(
    "env",
    [
        {"RAYON_NUM_THREADS": "0", "RAYON_RS_NUM_CPUS": "5"},  # 0: default, second ignored
        {"RAYON_NUM_THREADS": "+0", "RAYON_RS_NUM_CPUS": "9"},
        {"RAYON_NUM_THREADS": "abc"},
        {"RAYON_NUM_THREADS": "abc", "RAYON_RS_NUM_CPUS": "0"},
        {"RAYON_RS_NUM_CPUS": "-2"},
        {"RAYON_RS_NUM_CPUS": " 6"},
    ],
)
def test_fall_back_to_the_default(env, default_count):
    assert num_threads_with(env) == default_count


def test_non_utf8_value_does_not_parse(default_count):
    env = dict(os.environ)
    env.pop("RAYON_RS_NUM_CPUS", None)
    env_bytes = {k.encode(): v.encode() for k, v in env.items()}
    env_bytes[b"RAYON_NUM_THREADS"] = b"3\xff"
    result = subprocess.run([sys.executable, "-c", NUM_THREADS], env=env_bytes,
                            capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stderr
    assert int(result.stdout) == default_count


def test_count_is_fixed_when_the_pool_starts():
    code = (
        "import os, _quorvex\n"
        "first = _quorvex.num_threads()\n"
        "os.environ['RAYON_NUM_THREADS'] = '7'\n"
        "print(first, _quorvex.num_threads())\n"
    )
    result = run_python(code, {"RAYON_NUM_THREADS": "2"})
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["2", "2"]


@pytest.mark.parametrize("count", ["1", "2", "100000"])
def test_parallel_results_do_not_depend_on_the_count(count):
    """A 65535-thread pool starts its threads only when work needs them, so it
    works on a machine that could not run them all at once."""
    code = (
        "import _quorvex as q\n"
        "a = q.array([float(i) * 0.37 for i in range(40000)], 0.5)\n"
        "s = (a + a).sqrt()\n"
        "print(q.num_threads(), len(s), sum(s.values()).hex(), sum(s.radii()).hex())\n"
    )
    serial = run_python(code, {"RAYON_NUM_THREADS": "1"})
    result = run_python(code, {"RAYON_NUM_THREADS": count}, timeout=120)
    assert result.returncode == 0, result.stderr
    words = result.stdout.split()
    assert words[0] == str(min(int(count), 65535))
    assert words[1:] == serial.stdout.split()[1:]
