"""numpy in and out of quorvex, and pickling, as ratios to numpy timed in the same run.

    PYTHONPATH=build/<dir>/python:python python3 bench/bench_bridge.py [--rounds N] [--size N]

Every round times each case once, its baseline right before or after it (the
order alternates between rounds), so both see the same machine state; the
figures are medians over the rounds: of the per-round ratios, and of the times.

- from_numpy: contiguous float64 mid and rad of --size elements, against
  np.copy(mid); np.copy(rad).
- to_numpy: both views of an array of 1 and of --size elements (time per call,
  averaged over a batch), against slicing and reshaping two views of a numpy array.
- pickle protocol 5 round trip of --size elements in memory, against the same
  for the two float64 arrays: in band (the data inside the pickle bytes), out of
  band within the process (PickleBuffers handed to loads), and out of band with
  the buffers arriving as bytes (as from another process; numpy wraps them, we copy).
"""
import argparse
import pickle
import time

import numpy as np

import quorvex as qv

from paired import paired_rounds, print_medians, timed


def in_band(x):
    return pickle.loads(pickle.dumps(x, protocol=5))


def out_of_band(x):
    buffers = []
    data = pickle.dumps(x, protocol=5, buffer_callback=buffers.append)
    return pickle.loads(data, buffers=buffers)


def out_of_band_as_bytes(x):
    buffers = []
    data = pickle.dumps(x, protocol=5, buffer_callback=buffers.append)
    received = [bytes(b.raw()) for b in buffers]  # what a pipe would deliver
    start = time.perf_counter()
    pickle.loads(data, buffers=received)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rounds", type=int, default=21)
    parser.add_argument("--size", type=int, default=10**7)
    args = parser.parse_args()
    n = args.size
    rng = np.random.default_rng(1)
    mid = rng.standard_normal(n)
    rad = rng.random(n)
    a = qv.from_numpy(mid, rad)
    one = qv.from_numpy([1.0], 0.5)
    pair = (mid, rad)
    flat = np.concatenate([mid, rad])
    shape = (n,)

    def numpy_views():
        return flat[:n].reshape(shape), flat[n:].reshape(shape)

    batch = 10_000
    cases = {
        "from_numpy": (lambda: timed(lambda: qv.from_numpy(mid, rad)),
                       lambda: timed(lambda: (np.copy(mid), np.copy(rad)))),
        "to_numpy, 1 element": (lambda: timed(lambda: qv.to_numpy(one), batch),
                                lambda: timed(numpy_views, batch)),
        "to_numpy, --size elements": (lambda: timed(lambda: qv.to_numpy(a), batch),
                                      lambda: timed(numpy_views, batch)),
        "pickle 5 in band": (lambda: timed(lambda: in_band(a)),
                             lambda: timed(lambda: in_band(pair))),
        "pickle 5 out of band": (lambda: timed(lambda: out_of_band(a), 100),
                                 lambda: timed(lambda: out_of_band(pair), 100)),
        "pickle 5 out of band, loads of bytes": (lambda: out_of_band_as_bytes(a),
                                                 lambda: out_of_band_as_bytes(pair)),
    }
    print_medians(paired_rounds(cases, args.rounds), f"{n} elements, {args.rounds} paired rounds, medians", "quorvex",
                  "numpy", width=40)


if __name__ == "__main__":
    main()
