"""Time per call of py_get_totals against the number of lines (10 to 10,000),
with the plain-Python version beside it; writes benchmarks/scaling.png.

    python3 benchmarks/scaling.py      (needs matplotlib)
"""
from __future__ import annotations

import pathlib
import sys
import timeit

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import corbyl  # noqa: E402
import plain  # noqa: E402
from bench import bill  # noqa: E402

SIZES = [10, 30, 100, 300, 1000, 3000, 10000]


def per_call(f) -> float:
    number, _ = timeit.Timer(f).autorange()
    return min(timeit.repeat(f, number=number, repeat=5)) / number


def main() -> None:
    rows = []
    for n in SIZES:
        lines = bill(n)
        module = per_call(lambda: corbyl.py_get_totals(lines, 2))
        baseline = per_call(lambda: plain.get_totals(lines, 2))
        rows.append((n, module, baseline))
        print(f"{n:>6} lines: corbyl {module * 1e6:10.1f} µs ({module / n * 1e9:6.0f} ns a line), "
              f"plain Python {baseline * 1e6:10.1f} µs, ratio {baseline / module:5.1f}x")
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no plot")
        return
    fig, ax = plt.subplots(figsize=(6.4, 4.2), dpi=110)
    ax.loglog([r[0] for r in rows], [r[1] * 1e6 for r in rows], "o-", label="corbyl.py_get_totals")
    ax.loglog([r[0] for r in rows], [r[2] * 1e6 for r in rows], "s--", label="plain Python with decimal")
    ax.set_xlabel("lines in the bill")
    ax.set_ylabel("time per call (µs)")
    ax.set_title("Totals: time per call grows linearly with the lines")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend()
    fig.tight_layout()
    fig.savefig(HERE / "scaling.png")
    print(f"wrote {HERE / 'scaling.png'}")


if __name__ == "__main__":
    main()
