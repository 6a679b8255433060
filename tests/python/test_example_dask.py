"""examples/dask_uncertainty.py at a small size: a two-process cluster, one-process agreement."""
import pathlib
import re
import subprocess
import sys

import numpy as np
import pytest

da = pytest.importorskip("dask.array")
pytest.importorskip("dask.distributed")

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "dask_uncertainty.py"
SIZE = 300_000


def test_cluster_total_agrees_with_one_process_and_with_numpy():
    run = subprocess.run([sys.executable, str(EXAMPLE), str(SIZE), "--chunk", "40000"],
                         capture_output=True, text=True, timeout=180)
    assert run.returncode == 0, run.stdout + run.stderr
    assert f"{SIZE} samples in 8 chunks on 2 worker processes" in run.stdout
    (cluster, single) = [(float(m), float(r))
                         for m, r in re.findall(r"sum of f : (\S+)±(\S+)", run.stdout)]
    bound = SIZE * np.finfo(float).eps * sum(single)
    assert abs(cluster[0] - single[0]) <= bound and abs(cluster[1] - single[1]) <= bound
    assert re.search(r"^agree: largest difference", run.stdout, re.M)
    # f at the midpoints, summed by numpy, lies in the ball (well inside: the radius is
    # first order in dx, the midpoint's offset second order).
    rng = da.random.default_rng(2024)
    mid = rng.uniform(0.5, 2.0, size=SIZE, chunks=40000).compute(scheduler="synchronous")
    plain = np.sum(np.sqrt(mid) * np.exp(-mid) + np.sin(mid) ** 2)
    assert abs(single[0] - plain) <= 1e-3 * single[1] and 0 < single[1] < 1e-3 * plain
