#!/usr/bin/env python3
"""Checks that baseline code stays baseline, in a configured and built tree.

The build records every source in isa_manifest.txt as
"<target>|<flags>|<source>": target "baseline" for code outside the kernel
directories, a target name for the files of src/kernels/<target>/, with the
instruction-set flags they are built with. Two rules keep wider instructions
out of code that runs on every processor:

1. No object built without instruction-set flags contains a VEX- or EVEX-encoded instruction (AT&T
   mnemonics starting with "v", or any ymm, zmm or mask register).
2. A per-target object defines nothing with external linkage but its entry
   points (names in quorvex::kernels::<target>): no global helper, and no
   weak copy of an inline function or template that the linker could pick
   for baseline callers. The exception-handling personality reference, a
   data word every C++ object may carry, is the one weak symbol allowed.
3. The avx512 kernels are chosen on AVX-512F alone, so their objects hold no
   AVX-512DQ instruction (mask moves and logic on bytes, floating-point
   logic on zmm registers, quadword conversions and multiplies, 64x2/32x8
   lane moves, class/range/reduce).

Usage: scripts/check_isa.py BUILD_DIR
"""
import glob
import os
import re
import subprocess
import sys

VECTOR_INSTRUCTION = re.compile(r"^\s*[0-9a-f]+:\s+(v[a-z0-9]+)\b|%[yz]mm\d|%k[0-7]\b")
ALLOWED_WEAK = {"DW.ref.__gxx_personality_v0"}
DQ_INSTRUCTION = re.compile(
    r"^\s*[0-9a-f]+:\s+(k(mov|and|andn|or|xor|xnor|not|test|ortest|add|shiftl|shiftr)b\b"
    r"|v(and|andn|or|xor)p[sd]\b.*%zmm|vcvtt?p[sd]2u?qq|vcvtu?qq2p[sd]|vpmullq"
    r"|vfpclass|vrange|vreduce|v(extract|insert|broadcast)[fi](64x2|32x8)"
    r"|vpmov[dq]2m|vpmovm2[dq])")
DQ_FREE_TARGETS = {"avx512"}


def objects_of(build, source):
    found = glob.glob(os.path.join(build, "CMakeFiles", "*.dir", source + ".o"))
    if not found:
        sys.exit(f"check_isa: no object built for {source} under {build}")
    return found


def instructions_matching(obj, pattern):
    """The first few instructions of an object that match, with their function."""
    out = subprocess.run(["objdump", "-d", "-C", "--no-show-raw-insn", obj], check=True,
                         capture_output=True, text=True).stdout
    function, hits = "?", []
    for line in out.splitlines():
        if line.endswith(">:"):
            function = line.split("<", 1)[1][:-2]
        elif pattern.search(line):
            hits.append(f"{function}: {line.strip()}")
            if len(hits) == 3:
                break
    return hits


def stray_symbols(obj, target):
    """Defined symbols with external linkage that are not entry points of `target`."""
    out = subprocess.run(["nm", "--defined-only", obj], check=True, capture_output=True,
                         text=True).stdout
    entry = f"quorvex::kernels::{target}::"
    stray = []
    for line in out.splitlines():
        parts = line.split(maxsplit=2)
        if len(parts) != 3:
            continue
        _, kind, name = parts
        if kind.islower() and kind not in "uvw":  # local symbol
            continue
        if name in ALLOWED_WEAK:
            continue
        shown = subprocess.run(["c++filt", name], check=True, capture_output=True,
                               text=True).stdout.strip()
        if kind in "TDRB" and shown.startswith(entry):
            continue
        stray.append(f"{kind} {shown}")
    return stray


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    manifest = os.path.join(build, "isa_manifest.txt")
    with open(manifest) as f:
        entries = [line.split("|", 2) for line in f.read().splitlines() if line.strip()]
    problems, checked = [], 0
    for target, flags, source in entries:
        for obj in objects_of(build, source):
            checked += 1
            if not flags:
                for hit in instructions_matching(obj, VECTOR_INSTRUCTION):
                    problems.append(f"{source}: baseline code with a VEX/EVEX instruction: {hit}")
            if target in DQ_FREE_TARGETS:
                for hit in instructions_matching(obj, DQ_INSTRUCTION):
                    problems.append(f"{source}: an AVX-512DQ instruction in kernels chosen on "
                                    f"AVX-512F alone: {hit}")
            if target != "baseline":
                for sym in stray_symbols(obj, target):
                    problems.append(f"{source} ({target}): defines {sym}, which is not one of "
                                    f"its entry points")
    for p in problems:
        print(p, file=sys.stderr)
    if problems:
        sys.exit(f"check_isa: {len(problems)} problem(s) in {checked} objects")
    print(f"check_isa: {checked} objects clean")


if __name__ == "__main__":
    main()
