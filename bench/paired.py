"""Paired rounds for the Python benchmarks (the C++ ones use paired.hpp).

On a shared machine the speed drifts by tens of percent within seconds. Each
round times every case once with its baseline right before or after it (the
order alternates between rounds), so both see the same machine state; the
figures are medians over the rounds, of the times and of the ratios.

Whichever of the two runs first in a round can pay for what ran before it:
after a case of scalar library calls, the first 10^6-element sum of the next
pair took 0.3 ms longer, ours or the baseline alike. So a ratio comes from two
neighbouring rounds, one of each order (the geometric mean of their ratios),
which cancels that cost; a median of single rounds' ratios would take it from
whichever order has one round more.
"""
import gc
import statistics
import time


def timed(fn, number=1, collect=True):
    """Seconds per call of fn over `number` calls, after a collection.

    Leave the collection out (collect=False) for calls on small arrays: freeing
    everything a collection finds lets the allocator return memory to the
    system, and the calls timed next then pay the page faults of getting it
    back.
    """
    if collect:
        gc.collect()
    start = time.perf_counter()
    for _ in range(number):
        result = fn()
    elapsed = (time.perf_counter() - start) / number
    del result
    return elapsed


def paired_rounds(cases, rounds):
    """cases: name -> (ours, baseline), each a function returning seconds.

    Returns name -> (median ours, median baseline, median ratio of ours / baseline over
    the pairs of neighbouring rounds).
    """
    times = {name: ([], [], []) for name in cases}
    for r in range(rounds):
        for name, (ours, base) in cases.items():
            if r % 2:
                b, o = base(), ours()
            else:
                o, b = ours(), base()
            t_ours, t_base, ratios = times[name]
            t_ours.append(o)
            t_base.append(b)
            ratios.append(o / b)

    def paired_ratio(ratios):
        both_orders = [(a * b) ** 0.5 for a, b in zip(ratios[0::2], ratios[1::2])]
        return statistics.median(both_orders or ratios)

    return {name: (statistics.median(o), statistics.median(b), paired_ratio(r))
            for name, (o, b, r) in times.items()}


def print_medians(results, title, ours, base, width=40):
    print(title)
    print(f"{'case':{width}} {ours:>12} {base:>12} {'ratio':>7}")
    for name, (o, b, ratio) in results.items():
        unit, scale = ("us", 1e6) if o < 1e-3 else ("ms", 1e3)
        print(f"{name:{width}} {o * scale:9.2f} {unit} {b * scale:9.2f} {unit} {ratio:7.2f}")
