#!/usr/bin/env python3
"""Random-input driver for every public entry point of _quorvex.

Each input is one call (a module function, a method, an operator slot, len, indexing, repr)
with arguments drawn from many kinds: integers of every size, special floats, strings, bytes,
nested lists, arrays of mismatched shapes, and hostile objects whose conversions raise, return
odd types, or whose sequence protocol lies. The property checked for every call:

  * it returns a value of the documented type, or raises an Exception subclass, or raises
    PanicException with one of the designed assertion messages;
  * it never crashes the process, never hangs (a per-call watchdog aborts with a traceback),
    never raises SystemError (the binding lost track of an exception), and never changes an
    array passed to it.

Usage:
  python3 tests/fuzz/fuzz_quorvex.py --seconds 600            # long run, fresh seed
  python3 tests/fuzz/fuzz_quorvex.py --seconds 60 --seed 7    # reproducible run
  python3 tests/fuzz/fuzz_quorvex.py --replay 7:1234          # print and rerun one input

Input i of seed s is generated from its own generator, so --replay s:i reproduces it exactly.
The run ends with one JSON line summarising inputs, outcomes, panics and findings; the exit
status is 1 if there were findings. The address space is limited (see --memory-gb) so that
random sizes that would not fit end in MemoryError instead of swapping.
"""
import argparse
import faulthandler
import json
import math
import os
import random
import re
import resource
import signal
import struct
import sys
import time
from collections import Counter

import _quorvex as qv

IA = qv.IntervalArray

# Panics the module is designed to raise: assertion failures on user-reachable conditions.
DESIGNED_PANICS = [
    r"assertion `left == right` failed: array lengths must match",
    r"assertion `left == right` failed: shapes must match",
    r"assertion `left == right` failed: dot: length mismatch",
    r"assertion `left == right` failed: matmul requires 2D arrays",
    r"assertion `left == right` failed: matmul: inner dimensions must match",
    r"assertion `left == right` failed: transpose only supports 2D arrays",
    r"assertion `left == right` failed: cannot reshape array of size \d+ into shape \[",
    r"min of empty array$",
    r"max of empty array$",
    r"arange: step cannot be zero$",
    r"invalid layout: LayoutError$",
]
_DESIGNED = [re.compile(p) for p in DESIGNED_PANICS]


def panic_type():
    try:
        qv.arange(0.0, 1.0, 0.0)
    except BaseException as e:  # noqa: B902 - PanicException derives from BaseException
        return type(e)
    raise AssertionError("arange with a zero step did not panic")


# ---------------------------------------------------------------------------------------------
# Hostile argument objects


class FloatRaises:
    def __float__(self):
        raise ZeroDivisionError("float conversion refused")

    def __repr__(self):
        return "FloatRaises()"


class FloatReturnsStr:
    def __float__(self):
        return "1.5"

    def __repr__(self):
        return "FloatReturnsStr()"


class FloatReturnsSubclass:
    class F(float):
        pass

    def __float__(self):
        return self.F(2.5)

    def __repr__(self):
        return "FloatReturnsSubclass()"


class IndexRaises:
    def __index__(self):
        raise RuntimeError("index conversion refused")

    def __repr__(self):
        return "IndexRaises()"


class IndexReturnsFloat:
    def __index__(self):
        return 1.0

    def __repr__(self):
        return "IndexReturnsFloat()"


class IndexOnly:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v

    def __repr__(self):
        return f"IndexOnly({self.v!r})"


class BigInt(int):
    def __repr__(self):
        return f"BigInt({int(self)})"


class LyingSequence:
    """A sequence whose length disagrees with what iteration yields, or whose iteration
    fails part way through."""

    def __init__(self, items, claimed, fail_at=None):
        self.items, self.claimed, self.fail_at = items, claimed, fail_at

    def __len__(self):
        if self.claimed is None:
            raise ValueError("length refused")
        return self.claimed

    def __getitem__(self, i):
        if self.fail_at is not None and i >= self.fail_at:
            raise KeyError("item refused")
        return self.items[i]

    def __iter__(self):
        for i, x in enumerate(self.items):
            if self.fail_at is not None and i >= self.fail_at:
                raise KeyError("iteration refused")
            yield x

    def __repr__(self):
        return f"LyingSequence({self.items!r}, {self.claimed!r}, {self.fail_at!r})"


class LyingList(list):
    """A list subclass whose Python-level protocol lies; C-level access sees the real items."""

    def __len__(self):
        return 10**6

    def __getitem__(self, i):
        raise IndexError("refused")

    def __iter__(self):
        raise RuntimeError("refused")


class ArraySub(IA):
    pass


# ---------------------------------------------------------------------------------------------
# Argument generation

SPECIAL_INTS = [0, 1, 2, 3, 4, 7, -1, -2, 2**31 - 1, 2**31, 2**32, 2**53 + 1, 2**63 - 1, 2**63,
                2**64 - 1, 2**64, -(2**63), -(2**63) - 1, 10**30, True, False]
SPECIAL_FLOATS = [0.0, -0.0, 1.0, -1.0, 0.5, 1.5, 3.0, math.pi, 1e-300, 5e-324, -5e-324,
                  1.7976931348623157e308, -1.7976931348623157e308, 1e16, 2.0**-1074 * 3,
                  math.inf, -math.inf, math.nan, -math.nan, 1e-3, 700.0, 1e22]


class Gen:
    def __init__(self, rng: random.Random):
        self.r = rng

    def chance(self, p):
        return self.r.random() < p

    def small_int(self):
        return self.r.choice([0, 1, 1, 2, 2, 3, 4, 5, 6, 8])

    def any_int(self):
        if self.chance(0.6):
            return self.small_int()
        return self.r.choice(SPECIAL_INTS)

    def any_float(self):
        if self.chance(0.5):
            return self.r.choice(SPECIAL_FLOATS)
        return self.r.uniform(-10, 10) * 10.0 ** self.r.randint(-5, 5)

    def radius(self):
        if self.chance(0.4):
            return 0.0
        if self.chance(0.2):
            return self.r.choice([-0.0, -1.0, math.inf, math.nan, 5e-324, 1e300])
        return abs(self.any_float())

    def shape(self, allow_big=False):
        ndim = self.r.choice([0, 1, 1, 1, 2, 2, 2, 3])
        shape = [self.small_int() for _ in range(ndim)]
        if allow_big and self.chance(0.05):
            shape.append(self.r.choice([2**32, 2**62, 2**64 - 1, 300, 40000]))
        return shape

    def array(self):
        """An array of a random shape; elements from the special values."""
        kind = self.r.random()
        shape = self.shape()
        size = math.prod(shape)
        if kind < 0.04:
            # Sizes that reach the pooled paths: above the parallel thresholds.
            return filled(self, self.r.choice([32768, 40000, 70000]))
        if kind < 0.15 and size == 0:
            return qv.zeros(shape)
        mids = [self.any_float() for _ in range(size)]
        a = qv.array(mids, self.radius()) if mids else qv.zeros([0])
        if self.chance(0.3) and size > 0:
            a = a * qv.array([self.radius() for _ in range(size)], self.radius())
        if self.chance(0.1):
            a = ArraySub(list(a.values()), self.radius())
        return a.reshape(shape) if size == len(a) else a

    def matrix(self):
        rows = self.r.choice([0, 1, 2, 3, 5, 64, 260])
        cols = self.r.choice([0, 1, 2, 3, 4])
        n = rows * cols
        mids = [self.any_float() if self.chance(0.1) else self.r.uniform(-4, 4)
                for _ in range(n)]
        return qv.array(mids, self.radius()).reshape([rows, cols])

    def float_list(self):
        n = self.r.choice([0, 1, 2, 3, 4, 6])
        items = [self.any_float() for _ in range(n)]
        if self.chance(0.2) and items:
            items[self.r.randrange(n)] = self.value(depth=2)
        return items

    def sequence(self):
        items = [self.any_int() if self.chance(0.8) else self.value(depth=2)
                 for _ in range(self.r.randint(0, 3))]
        kind = self.r.randrange(6)
        if kind == 0:
            return tuple(items)
        if kind == 1:
            return range(self.r.randint(0, 4))
        if kind == 2:
            return bytes(self.r.randint(0, 5) for _ in range(self.r.randint(0, 3)))
        if kind == 3:
            return LyingSequence(items, self.r.choice([None, 0, len(items) + 5, -1, 2**62]),
                                 self.r.choice([None, 0, 1]))
        if kind == 4:
            return LyingList(items)
        return items

    def hostile(self):
        return self.r.choice([
            FloatRaises(), FloatReturnsStr(), FloatReturnsSubclass(), IndexRaises(),
            IndexReturnsFloat(), IndexOnly(self.any_int()), BigInt(self.any_int()),
            object(), {}, {1: 2}, set(), 1j, memoryview(b"ab"), bytearray(b"\x01"),
        ])

    def value(self, depth=0):
        """Any argument at all."""
        k = self.r.random()
        if k < 0.18:
            return self.any_int()
        if k < 0.38:
            return self.any_float()
        if k < 0.55 and depth < 2:
            return self.array()
        if k < 0.63:
            return self.float_list()
        if k < 0.72:
            return self.sequence()
        if k < 0.78 and depth < 2:
            return [self.value(depth + 1) for _ in range(self.r.randint(0, 2))]
        if k < 0.84:
            return self.r.choice(["", "ab", "1.0", "\x00", "é"])
        if k < 0.87:
            return self.r.choice([b"", b"\x00\x01", b"ab"])
        if k < 0.9:
            return None
        return self.hostile()


# ---------------------------------------------------------------------------------------------
# Entry points and the result types they promise

ARRAY = "array"
PAIR = "pair"
FLOATS = "floats"
PAIRS = "pairs"
INTS = "ints"

MODULE_FUNCS = {
    "array": (["values", "error"], 1, ARRAY),
    "zeros": (["shape"], 1, ARRAY),
    "ones": (["shape"], 1, ARRAY),
    "full": (["shape", "value", "error"], 2, ARRAY),
    "linspace": (["start", "stop", "num"], 2, ARRAY),
    "arange": (["start", "stop", "step"], 2, ARRAY),
}

# Methods without parameters and the type of their result.
NOARG_METHODS = {
    "shape": INTS, "ndim": int, "max_relative_error": float, "max_radius": float,
    "is_exact": bool, "is_empty": bool,
    "sin": ARRAY, "cos": ARRAY, "tan": ARRAY, "exp": ARRAY, "ln": ARRAY, "log2": ARRAY,
    "log10": ARRAY, "sqrt": ARRAY, "abs": ARRAY,
    "sum": PAIR, "mean": PAIR, "var": PAIR, "std": PAIR, "min_val": PAIR, "max_val": PAIR,
    "prod": PAIR, "norm": PAIR, "cumsum": ARRAY, "tolist": PAIRS, "values": FLOATS,
    "radii": FLOATS, "copy": ARRAY, "transpose": ARRAY,
}
ONEARG_METHODS = {
    "get": ("idx", PAIR), "midpoint": ("idx", float), "radius": ("idx", float),
    "dot": ("other", PAIR), "matmul": ("other", ARRAY), "reshape": ("shape", ARRAY),
    "scale": ("scalar", ARRAY),
}
BINARY_OPS = {"+": lambda x, y: x + y, "-": lambda x, y: x - y, "*": lambda x, y: x * y,
              "/": lambda x, y: x / y}


def type_ok(kind, result):
    if kind is None:
        return True
    if kind is ARRAY:
        return isinstance(result, IA)
    if kind is PAIR:
        return (type(result) is tuple and len(result) == 2
                and all(type(x) is float for x in result))
    if kind is FLOATS:
        return type(result) is list and all(type(x) is float for x in result)
    if kind is PAIRS:
        return type(result) is list and all(type_ok(PAIR, x) for x in result)
    if kind is INTS:
        return type(result) is list and all(type(x) is int and x >= 0 for x in result)
    return type(result) is kind


def array_consistent(a):
    """The invariants an array result must keep whatever its values."""
    shape = a.shape()
    size = math.prod(shape)
    if len(a) != size or a.ndim() != len(shape) or a.is_empty() != (size == 0):
        return False
    return size > 4096 or (len(a.values()) == size and len(a.radii()) == size)


def snapshot(obj):
    """The bits of an array operand, to see that a call left it alone (large arrays: a few
    elements spread over the storage, which a stray write through a shared buffer would hit)."""
    if not isinstance(obj, IA):
        return None
    n = len(obj)
    if n <= 4096:
        return (tuple(obj.shape()), struct.pack(f"<{2 * n}d", *obj.values(), *obj.radii()))
    picks = [obj.get(i) for i in (0, 1, n // 3, n // 2, n - 2, n - 1)] if obj.ndim() == 1 else []
    return (tuple(obj.shape()), struct.pack(f"<{2 * len(picks)}d", *sum(picks, ())))


class Call:
    """One input: a description for reports and a thunk that performs it."""

    def __init__(self, label, thunk, kind, operands):
        self.label, self.thunk, self.kind, self.operands = label, thunk, kind, operands


def describe(x):
    if isinstance(x, IA):
        return f"<{type(x).__name__} shape={x.shape()}>"
    text = repr(x)
    return text if len(text) <= 80 else text[:77] + "..."


def make_call(g: Gen) -> Call:
    k = g.r.random()
    if k < 0.22:
        name = g.r.choice(list(MODULE_FUNCS) + ["IntervalArray"])
        params, _, kind = MODULE_FUNCS.get(name, (["values", "error"], 1, ARRAY))
        fn = IA if name == "IntervalArray" else getattr(qv, name)
        args = [well_formed(g, p) if g.chance(0.6) else g.value() for p in params]
        npos = g.r.randint(0, len(params) + (1 if g.chance(0.1) else 0))
        if npos > len(params):
            args.append(g.value())
        pos = args[:npos]
        kw = {}
        for p, v in zip(params[npos:], args[npos:]):
            if g.chance(0.6):
                kw[p] = v
        if g.chance(0.05):
            kw[g.r.choice(["bad", params[0], "values", "shape"])] = g.value()
        label = f"{name}(*{[describe(a) for a in pos]}, **{ {k: describe(v) for k, v in kw.items()} })"
        return Call(label, lambda: fn(*pos, **kw), kind, pos + list(kw.values()))
    if k < 0.24:
        return Call("num_threads()", qv.num_threads, int, [])
    a = g.matrix() if g.chance(0.15) else g.array()
    if k < 0.50:
        name = g.r.choice(list(NOARG_METHODS))
        return Call(f"{describe(a)}.{name}()", getattr(a, name), NOARG_METHODS[name], [a])
    if k < 0.68:
        name = g.r.choice(list(ONEARG_METHODS))
        param, kind = ONEARG_METHODS[name]
        arg = well_formed(g, param, a) if g.chance(0.6) else g.value()
        call = getattr(a, name)
        if g.chance(0.3):
            thunk = lambda: call(**{param: arg})  # noqa: E731
        else:
            thunk = lambda: call(arg)  # noqa: E731
        return Call(f"{describe(a)}.{name}({describe(arg)})", thunk, kind, [a, arg])
    if k < 0.88:
        sym = g.r.choice(list(BINARY_OPS))
        op = BINARY_OPS[sym]
        other = same_shape(g, a) if g.chance(0.4) else g.value()
        x, y = (a, other) if g.chance(0.6) else (other, a)
        # Only array-involving forms have a promised result; NotImplemented paths raise.
        return Call(f"{describe(x)} {sym} {describe(y)}", lambda: op(x, y), ARRAY, [x, y])
    if k < 0.91:
        return Call(f"-{describe(a)}", lambda: -a, ARRAY, [a])
    if k < 0.93:
        return Call(f"abs({describe(a)})", lambda: abs(a), ARRAY, [a])
    if k < 0.95:
        return Call(f"len({describe(a)})", lambda: len(a), int, [a])
    if k < 0.98:
        i = g.any_int() * g.r.choice([1, -1]) if g.chance(0.8) else g.value()
        return Call(f"{describe(a)}[{describe(i)}]", lambda: a[i], PAIR, [a, i])
    fn = g.r.choice([repr, str, bool])
    return Call(f"{fn.__name__}({describe(a)})", lambda: fn(a), {repr: str, str: str,
                                                                 bool: bool}[fn], [a])


def same_shape(g, a):
    """An operand of the same shape, or one whose shape differs in a chosen way."""
    shape = a.shape()
    if g.chance(0.8):
        b = filled(g, len(a))
        return b.reshape(shape) if len(b) == math.prod(shape) else b
    return qv.zeros(list(reversed(shape)) + [1])


def filled(g, n):
    """An array of n elements: a short random pattern repeated, so large sizes stay cheap."""
    if n == 0:
        return qv.zeros([0])
    pattern = [g.any_float() for _ in range(min(n, 16))]
    mids = (pattern * (n // len(pattern) + 1))[:n]
    return qv.array(mids, g.radius())


def well_formed(g, param, a=None):
    """A plausible value for a named parameter, so calls get past argument checks."""
    if param == "values":
        return g.float_list()
    if param in ("error", "value", "start", "stop", "scalar"):
        return g.any_float()
    if param == "step":
        return g.r.choice([1.0, 0.5, -1.0, 0.0, 1e-300, math.nan, math.inf, 3])
    if param == "num":
        return g.r.choice([0, 1, 2, 5, 50, 2**64 - 1, 2**63, -1])
    if param == "shape":
        if a is not None and g.chance(0.6):
            n = len(a)
            return g.r.choice([[n], [1, n], [n, 1], [], [n + 1], [0]])
        return g.shape(allow_big=True)
    if param == "idx":
        n = len(a) if a is not None else 3
        return g.r.choice([0, n - 1 if n else 0, n, 2**64 - 1, 2**64, -1])
    if param == "other":
        if a is not None and g.chance(0.5):
            return g.r.choice([a, a.copy(), g.matrix()]) if g.chance(0.5) else same_shape(g, a)
        return g.array()
    raise AssertionError(param)


# ---------------------------------------------------------------------------------------------
# Running


class Fuzzer:
    def __init__(self, call_timeout=60):
        self.panic = panic_type()
        self.call_timeout = call_timeout
        self.inputs = 0
        self.outcomes = Counter()
        self.panics = Counter()
        self.findings = []

    def finding(self, label, what):
        if len(self.findings) < 50:
            self.findings.append(f"{label}: {what}")

    def run(self, call: Call):
        self.inputs += 1
        before = [snapshot(x) for x in call.operands]
        # SIGALRM's default action ends the process: a hung call becomes a visible failure
        # (faulthandler prints where it hung), at the cost of one system call per input.
        signal.alarm(self.call_timeout)
        try:
            result = call.thunk()
        except self.panic as e:
            msg = str(e.args[0]) if e.args else ""
            if any(p.match(msg) for p in _DESIGNED):
                self.outcomes["PanicException"] += 1
                self.panics[re.sub(r"\d+", "N", msg.split("\n")[0])[:80]] += 1
            else:
                self.finding(call.label, f"undesigned panic {msg!r}")
        except SystemError as e:
            self.finding(call.label, f"SystemError {e}")
        except Exception as e:  # noqa: BLE001 - any ordinary exception is an allowed outcome
            self.outcomes[type(e).__name__] += 1
        except BaseException as e:  # noqa: B902
            if isinstance(e, KeyboardInterrupt):
                raise
            self.finding(call.label, f"escaped {type(e).__name__}: {e}")
        else:
            self.outcomes["ok"] += 1
            if not type_ok(call.kind, result):
                self.finding(call.label, f"result of wrong type: {describe(result)}")
            elif call.kind is ARRAY and not array_consistent(result):
                self.finding(call.label, f"inconsistent array {describe(result)}")
        finally:
            signal.alarm(0)
        after = [snapshot(x) for x in call.operands]
        if before != after:
            self.finding(call.label, "an operand array changed")

    def summary(self, seed, seconds):
        return {"seed": seed, "seconds": round(seconds, 1), "inputs": self.inputs,
                "outcomes": dict(self.outcomes), "panics": dict(self.panics),
                "findings": self.findings, "rss_mb": rss_mb()}


def rss_mb():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // (1 << 20)


SEED_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds.txt")


def seed_calls():
    """Hand-written inputs run before the random ones: past findings and known edge cases."""
    env = {"qv": qv, "IA": IA, "inf": math.inf, "nan": math.nan, "LyingSequence": LyingSequence,
           "LyingList": LyingList, "FloatRaises": FloatRaises, "IndexRaises": IndexRaises,
           "IndexOnly": IndexOnly, "FloatReturnsStr": FloatReturnsStr, "ArraySub": ArraySub}
    with open(SEED_FILE) as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                code = compile(line, SEED_FILE, "eval")
                # Arrays built by the seed are operands; the seed's kind is checked loosely.
                yield Call(line, lambda code=code: eval(code, env), None, [])


def input_rng(seed, i):
    return random.Random(f"{seed}:{i}")


def limit_memory(gb):
    # Under AddressSanitizer the shadow memory needs terabytes of address space.
    if gb > 0 and not os.environ.get("QUORVEX_SANITIZED"):
        limit = int(gb * (1 << 30))
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--seconds", type=float, default=60.0)
    ap.add_argument("--max-inputs", type=int, default=0, help="stop after this many inputs")
    ap.add_argument("--seed", type=int, default=None)
    ap.add_argument("--replay", default=None, help="SEED:INDEX of one input to rerun")
    ap.add_argument("--memory-gb", type=float, default=6.0, help="address-space limit")
    ap.add_argument("--call-timeout", type=int, default=60, help="seconds one call may take")
    ap.add_argument("--progress-file", default=None,
                    help="keeps SEED:INDEX of the running input, to replay after a crash")
    args = ap.parse_args(argv)

    # Panic diagnostics go to standard error by design; keep the run's output readable.
    if not args.replay:
        os.dup2(os.open(os.devnull, os.O_WRONLY), 2)
        faulthandler.enable(file=sys.stdout)
        faulthandler.register(signal.SIGALRM, file=sys.stdout, chain=True)
    limit_memory(args.memory_gb)
    fuzzer = Fuzzer(args.call_timeout)

    if args.replay:
        seed, index = (int(x) for x in args.replay.split(":"))
        call = make_call(Gen(input_rng(seed, index)))
        print(call.label)
        fuzzer.run(call)
        print(json.dumps(fuzzer.summary(seed, 0)))
        return 1 if fuzzer.findings else 0

    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 32)
    print(f"seed {seed}", flush=True)
    start = time.monotonic()
    for call in seed_calls():
        fuzzer.run(call)
    progress = os.open(args.progress_file, os.O_WRONLY | os.O_CREAT | os.O_TRUNC) \
        if args.progress_file else None
    i = 0
    while time.monotonic() - start < args.seconds:
        if args.max_inputs and i >= args.max_inputs:
            break
        try:
            call = make_call(Gen(input_rng(seed, i)))
        except MemoryError:
            i += 1
            continue
        if progress is not None:
            os.pwrite(progress, f"{seed}:{i}\n".ljust(32).encode(), 0)
        fuzzer.run(call)
        i += 1
    print(json.dumps(fuzzer.summary(seed, time.monotonic() - start)), flush=True)
    return 1 if fuzzer.findings else 0


if __name__ == "__main__":
    sys.exit(main())
