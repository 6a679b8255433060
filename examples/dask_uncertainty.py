# mypy: disable-error-code="no-untyped-call"
# (dask's functions are not annotated; everything in this file is.)
"""The uncertainty of a formula over 10^8 measured samples, chunk by chunk on Dask.

Each sample is a measurement x ± dx. The midpoints and the radii are two dask
arrays (drawn from a fixed seed, standing in for data read from storage), far
larger than one task's chunk. On a LocalCluster with two worker processes,
every task turns its chunk into a BallArray, evaluates

    f(x) = sqrt(x) * exp(-x) + sin(x) ** 2

and sums it; the partial sums (0-d BallArrays, pickled back) are stacked and
summed once more. Then the whole data set is computed in this process at
once, as a single-process run would, for comparison.

Both runs add the same terms, in different orders: the core's vector lanes
over the whole array, against lanes within each chunk followed by a sum over
the chunks; and every sum ends with a pass through its endpoints. For n
positive terms the two results therefore agree to within n * eps * (|M| + R),
M and R being the sums of the midpoints and of the radii (eps = 2.2e-16); the
example checks that bound and exits with status 1 if it does not hold.

    python3 examples/dask_uncertainty.py [SIZE] [--chunk N] [--no-check]

SIZE defaults to 10^8 samples (1.6 GB of midpoints and radii, held only chunk
by chunk on the cluster); the single-process comparison holds the whole data
set and its temporaries at once (about 6.5 GB at 10^8; --no-check skips it).
"""

from __future__ import annotations

import argparse
import sys
import time

import dask.array as da
import numpy as np
from dask.base import compute
from dask.delayed import delayed
from dask.distributed import Client, LocalCluster

import quorvex as qv

SEED = 2024


def formula(x: qv.BallArray) -> qv.BallArray:
    return x.sqrt() * (-x).exp() + x.sin() ** 2


def samples(size: int, chunk: int) -> tuple[da.Array, da.Array]:
    """Midpoints in [0.5, 2] and radii in [0, 1e-3], the same for every scheduler."""
    rng = da.random.default_rng(SEED)
    return (rng.uniform(0.5, 2.0, size=size, chunks=chunk),
            rng.uniform(0.0, 1e-3, size=size, chunks=chunk))


def chunk_total(mid: np.ndarray, rad: np.ndarray) -> qv.BallArray:
    return formula(qv.BallArray(mid, rad)).sum()


def add_up(parts: list[qv.BallArray]) -> qv.BallArray:
    return qv.stack(parts).sum()


def on_cluster(size: int, chunk: int) -> tuple[qv.BallArray, int]:
    """The total on a LocalCluster of two worker processes, and the number of chunks."""
    mid, rad = samples(size, chunk)
    parts = [delayed(chunk_total)(m, r)
             for m, r in zip(mid.to_delayed().ravel(), rad.to_delayed().ravel())]
    # One core thread per worker process: the two processes share the two cores.
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None, env={"RAYON_NUM_THREADS": "1"}) as cluster, \
            Client(cluster):
        total: qv.BallArray = delayed(add_up)(parts).compute()
    return total, len(parts)


def single_process(size: int, chunk: int) -> qv.BallArray:
    mid, rad = samples(size, chunk)
    m, r = compute(mid, rad, scheduler="synchronous")
    x = qv.BallArray(m, r)
    del m, r
    return formula(x).sum()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("size", type=int, nargs="?", default=10**8, help="number of samples")
    parser.add_argument("--chunk", type=int, default=5 * 10**6, help="samples per task")
    parser.add_argument("--no-check", action="store_true",
                        help="skip the single-process run over the whole data set")
    args = parser.parse_args()

    start = time.perf_counter()
    total, chunks = on_cluster(args.size, args.chunk)
    print(f"{args.size} samples in {chunks} chunks on 2 worker processes "
          f"({time.perf_counter() - start:.1f} s)")
    print(f"  sum of f : {total:.17g}")
    print(f"  mean of f: {total / args.size:.17g}")
    if args.no_check:
        return 0

    start = time.perf_counter()
    reference = single_process(args.size, args.chunk)
    print(f"single process, whole array ({time.perf_counter() - start:.1f} s)")
    print(f"  sum of f : {reference:.17g}")
    (m, r), (m_ref, r_ref) = total.item(), reference.item()
    bound = args.size * np.finfo(np.float64).eps * (abs(m_ref) + r_ref)
    difference = max(abs(m - m_ref), abs(r - r_ref))
    agree = difference <= bound
    print(f"{'agree' if agree else 'DISAGREE'}: largest difference {difference:.3g}, "
          f"bound n*eps*(|M|+R) = {bound:.3g}")
    return 0 if agree else 1


if __name__ == "__main__":
    sys.exit(main())
