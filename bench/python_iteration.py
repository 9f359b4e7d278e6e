#!/usr/bin/env python3
"""Python iteration over 100,000 records of eight fields through the zelko package, in
records per second (target: at least 50,000), beside the where() read of the same records.

    python3 bench/python_iteration.py [BUILD_DIR]     (default build/release)

The records are written by BUILD_DIR/bench/make-bench-items; each pass checks that it read
every record and the same texts."""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

RECORDS = 100_000
PASSES = 5
TARGET = 50_000


def main():
    root = Path(__file__).resolve().parent.parent
    build = Path(sys.argv[1] if len(sys.argv) > 1 else root / "build" / "release").resolve()
    work = tempfile.mkdtemp(prefix="zelko-py-bench-")
    os.environ["ZELKO_CONFIG_DIR"] = work
    os.environ["ZELKO_LIBRARY_DIR"] = str(build / "zelkoctl")
    subprocess.run([str(build / "bench" / "make-bench-items"), work, str(RECORDS)], check=True)
    sys.path.insert(0, str(root / "python"))
    import zelko

    with zelko.open(work) as db:
        items = db["ITEMS"]
        expected = None

        def iterate():
            count = length = 0
            for record in items:
                count += 1
                length += sum(len(v) for v in record.values())
            return count, length

        def extended():
            records = items.where()
            return len(records), sum(len(v) for r in records for v in r.values())

        for name, read in (("iteration", iterate), ("where()", extended)):
            rates = []
            for _ in range(PASSES):
                start = time.perf_counter()
                result = read()
                rates.append(RECORDS / (time.perf_counter() - start))
                if result[0] != RECORDS:
                    sys.exit(f"{name}: read {result[0]} records, not {RECORDS}")
                if expected is None:
                    expected = result
                elif result != expected:
                    sys.exit(f"{name}: read other texts than before")
            rate = statistics.median(rates)
            print(f"{name:10} {rate:12,.0f} records/s (median of {PASSES})")
            if name == "iteration":
                verdict = "meets" if rate >= TARGET else "misses"
                print(f"{'':10} {verdict} the target of {TARGET:,} records/s")


if __name__ == "__main__":
    try:
        main()
    finally:
        for leftover in Path(tempfile.gettempdir()).glob("zelko-py-bench-*"):
            shutil.rmtree(leftover, ignore_errors=True)
