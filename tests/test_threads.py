"""Many threads calling every function at once get exactly the results of a
single thread, also when the very first use happens in several threads."""
import os
import subprocess
import sys
import threading
import time

import pytest

from cases import CASES, outcome

SECONDS = float(os.environ.get("CORBYL_STRESS_SECONDS", "3"))


def test_eight_threads_get_the_single_threaded_results(capfd):
    expected = [outcome(f, a, k) for _, f, a, k in CASES]
    barrier = threading.Barrier(8)
    mismatches = []
    counts = [0] * 8

    def worker(n):
        barrier.wait()
        deadline = time.monotonic() + SECONDS
        i = n
        while time.monotonic() < deadline:
            name, f, a, k = CASES[i % len(CASES)]
            got = outcome(f, a, k)
            if got != expected[i % len(CASES)]:
                mismatches.append((name, got))
            i += 1
            counts[n] += 1

    threads = [threading.Thread(target=worker, args=(n,)) for n in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    capfd.readouterr()  # the panic reports
    assert not mismatches, mismatches[:3]
    assert min(counts) > 10


FIRST_USE = r"""
import sys, threading
sys.path.insert(0, {tests!r})
barrier = threading.Barrier(8)
results = [None] * 8

def worker(n):
    barrier.wait()
    import corbyl
    from cases import CASES, outcome
    results[n] = [outcome(f, a, k) for _, f, a, k in CASES] + [
        [id(getattr(corbyl.LineType, "Tip")), id(corbyl.Account), id(corbyl.PanicException)]]

threads = [threading.Thread(target=worker, args=(n,)) for n in range(8)]
for t in threads: t.start()
for t in threads: t.join()
assert all(r == results[0] for r in results), "threads disagree"
assert results[0][0][0] == "ok"
print("same", len(results[0]))
"""


def test_first_use_in_eight_threads_of_a_fresh_interpreter():
    tests = os.path.dirname(__file__)
    out = subprocess.run([sys.executable, "-c", FIRST_USE.format(tests=tests)], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr[-3000:]
    assert out.stdout.startswith("same")
