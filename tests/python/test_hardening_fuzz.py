"""A fixed-seed short run of the random-input driver in tests/fuzz (the long run is manual)."""
import json
import os
import subprocess
import sys

import pytest

FUZZ = os.path.join(os.path.dirname(__file__), "..", "fuzz", "fuzz_quorvex.py")


def run_fuzz(*args, timeout):
    env = dict(os.environ)
    env["RAYON_NUM_THREADS"] = "3"  # pooled paths with uneven splits on any machine
    return subprocess.run([sys.executable, FUZZ, *args], capture_output=True, text=True,
                          env=env, timeout=timeout)


@pytest.mark.parametrize("seed", [20261208, 7])
def test_fixed_seed_run_finds_nothing(seed, tmp_path):
    progress = tmp_path / "progress"
    r = run_fuzz("--seconds", "20", "--seed", str(seed), "--progress-file", str(progress),
                 timeout=150)
    # A crash or a hang (SIGALRM) leaves no summary; the progress file names the input.
    where = progress.read_text().strip() if progress.exists() else "?"
    assert r.returncode in (0, 1), f"died with {r.returncode} at input {where}:\n{r.stdout}"
    summary = json.loads(r.stdout.strip().splitlines()[-1])
    assert summary["findings"] == []
    outcomes = summary["outcomes"]
    # The driver must actually reach results, conversions errors and the designed panics;
    # a driver that only ever produced TypeErrors would check nothing.
    assert summary["inputs"] > 500
    for kind in ("ok", "TypeError", "PanicException", "OverflowError", "IndexError"):
        assert outcomes.get(kind, 0) > 0, outcomes


def test_replay_reproduces_a_single_input():
    first = run_fuzz("--replay", "7:11", timeout=60)
    second = run_fuzz("--replay", "7:11", timeout=60)
    assert first.returncode == 0, first.stdout + first.stderr
    # Everything but the summary's resident size, which the interpreter's own
    # allocations move between runs.
    lines = [r.stdout.splitlines() for r in (first, second)]
    summaries = [json.loads(ls[-1]) for ls in lines]
    for s in summaries:
        s.pop("rss_mb")
    assert lines[0][:-1] == lines[1][:-1] and summaries[0] == summaries[1]
    assert summaries[0]["inputs"] == 1


def test_driver_reports_an_undesigned_outcome(tmp_path):
    # The property check itself must be able to fail: a seed line returning a wrong-typed
    # value from an array method is caught through the result-type table.
    sys.path.insert(0, os.path.dirname(FUZZ))
    try:
        import fuzz_quorvex as fz
    finally:
        sys.path.pop(0)
    fuzzer = fz.Fuzzer()
    fuzzer.run(fz.Call("wrong type", lambda: [1.0], fz.PAIR, []))
    fuzzer.run(fz.Call("bad panic", lambda: fz.qv.zeros([3]).reshape([2]).no_such(), fz.ARRAY,
                       []))

    def system_error():
        raise SystemError("error return without exception set")

    fuzzer.run(fz.Call("system", system_error, fz.ARRAY, []))
    assert [f.split(":")[0] for f in fuzzer.findings] == ["wrong type", "system"]
    assert fuzzer.outcomes["PanicException"] == 1
