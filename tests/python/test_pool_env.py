"""Pool size from RAYON_NUM_THREADS / RAYON_RS_NUM_CPUS, read once in a fresh process."""
import os

import pytest

from conftest import run_python

NUM_THREADS = "import _quorvex; print(_quorvex.num_threads())"


def num_threads_with(env):
    result = run_python(NUM_THREADS, env)
    assert result.returncode == 0, result.stderr
    return int(result.stdout)


@pytest.fixture(scope="module")
def default_count():
    count = num_threads_with({})
    assert 1 <= count <= len(os.sched_getaffinity(0))
    return count


@pytest.mark.parametrize(
    "env, expected",
    [
        ({"RAYON_NUM_THREADS": "3"}, 3),
        ({"RAYON_NUM_THREADS": "+3", "RAYON_RS_NUM_CPUS": "5"}, 3),
        ({"RAYON_NUM_THREADS": "abc", "RAYON_RS_NUM_CPUS": "5"}, 5),
        ({"RAYON_NUM_THREADS": " 3", "RAYON_RS_NUM_CPUS": "5"}, 5),
        ({"RAYON_NUM_THREADS": "-3", "RAYON_RS_NUM_CPUS": "5"}, 5),
        ({"RAYON_NUM_THREADS": "100000"}, 65535),
        ({"RAYON_RS_NUM_CPUS": "100000"}, 65535),
        # Below: the default. 0 settles it without reading the second variable.
        ({"RAYON_NUM_THREADS": "0", "RAYON_RS_NUM_CPUS": "5"}, None),
        ({"RAYON_NUM_THREADS": "abc", "RAYON_RS_NUM_CPUS": "0"}, None),
        ({"RAYON_NUM_THREADS": "-3", "RAYON_RS_NUM_CPUS": " 6"}, None),
    ],
)
def test_count_from_environment(env, expected, default_count):
    assert num_threads_with(env) == (default_count if expected is None else expected)


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


@pytest.mark.parametrize("count", ["2", "100000"])
def test_parallel_results_do_not_depend_on_the_count(count):
    """A 65535-thread pool starts threads only as work needs them, so it also
    works where the system could not run that many at once."""
    code = (
        "import _quorvex as q\n"
        "a = q.array([float(i) * 0.37 for i in range(40000)], 0.5)\n"
        "s = (a + a).sqrt()\n"
        "print(q.num_threads(), sum(s.values()).hex(), sum(s.radii()).hex())\n"
    )
    serial = run_python(code, {"RAYON_NUM_THREADS": "1"})
    result = run_python(code, {"RAYON_NUM_THREADS": count}, timeout=120)
    assert result.returncode == 0, result.stderr
    words = result.stdout.split()
    assert words[0] == str(min(int(count), 65535))
    assert words[1:] == serial.stdout.split()[1:]


def test_forked_child_runs_parallel_work():
    """The workers do not survive fork(); the child must get its own instead of hanging."""
    code = (
        "import os, signal, _quorvex as q\n"
        "a = q.array([float(i) for i in range(40000)], 0.25)\n"
        "before = (a * a).sqrt().values()\n"
        "pid = os.fork()\n"
        "if pid == 0:\n"
        "    signal.alarm(30)\n"
        "    os._exit(0 if (a * a).sqrt().values() == before else 1)\n"
        "print(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))\n"
    )
    result = run_python(code, {"RAYON_NUM_THREADS": "2"})
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["0"]
