"""Soak: a million calls of each module function, successes and failures
mixed, must grow the resident memory of the process by less than 2 MB.

    python3 tests/soak.py [calls-per-function]
"""
import collections
import os
import pathlib
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).parent))

from cases import CASES  # noqa: E402

LIMIT = 2 * 1024 * 1024


def resident() -> int:
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def main() -> int:
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
    by_function = collections.defaultdict(list)
    for _, f, args, kwargs in CASES:
        by_function[f.__name__].append((f, args, kwargs))

    # the panic reports would flood standard error: send them away
    saved = os.dup(2)
    devnull = os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, 2)
    try:
        def run(calls):
            for i in range(calls):
                for name, cases in by_function.items():
                    f, args, kwargs = cases[i % len(cases)]
                    try:
                        f(*args, **kwargs)
                    except BaseException:
                        pass

        run(20_000)  # warm up: caches, free lists, arenas
        before = resident()
        start = time.perf_counter()
        run(n)
        elapsed = time.perf_counter() - start
        growth = resident() - before
    finally:
        os.dup2(saved, 2)
    print(f"{n} calls of each of {len(by_function)} functions ({sum(map(len, by_function.values()))} cases) "
          f"in {elapsed:.1f} s: resident memory grew by {growth / 1024:.0f} KiB (limit {LIMIT // 1024} KiB)")
    return 0 if growth < LIMIT else 1


if __name__ == "__main__":
    sys.exit(main())
