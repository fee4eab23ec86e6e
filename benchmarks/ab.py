"""Times builds of the module against each other in one process: every
benchmark row of bench.py, each build's call timed in alternation with the
others', so that a slow spell of the machine falls on all of them alike.

    python3 benchmarks/ab.py BASE.so NEW.so [MORE.so ...] [--rounds 15]

Each argument is a built extension file (``corbyl.cpython-*.so``), loaded
under the name ``corbyl`` from its own path; each build has its own classes,
so every row's arguments are made once per build. The ratios are each
build's best time over the first build's.
"""
from __future__ import annotations

import argparse
import copy
import importlib.machinery
import importlib.util
import itertools
import pathlib
import sys
import timeit

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

from bench import PRICING, SALE, TIP, bill_with  # noqa: E402


def load(path: str):
    loader = importlib.machinery.ExtensionFileLoader("corbyl", path)
    spec = importlib.util.spec_from_file_location("corbyl", path, loader=loader)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def rows(m, copies: int = 1000) -> list[tuple[str, object]]:
    """The rows of bench.py, as calls of the module `m` on arguments of its
    own; the rows of a new pricing dict each call take `copies` in turn."""
    members = {"Extra": m.LineType.Extra, "ExtraItem": m.Category.ExtraItem, "Fund": m.Account.Fund}
    bill10, bill100 = bill_with(10, members), bill_with(100, members)
    sale = dict(SALE, pricing=copy.deepcopy(PRICING))
    tip = dict(TIP, pricing=sale["pricing"])
    fresh_sales = itertools.cycle([copy.deepcopy(sale) for _ in range(copies)])
    fresh_tips = itertools.cycle([copy.deepcopy(tip) for _ in range(copies)])
    get_totals, deliverable = m.py_get_totals, m.py_deliverable_lines
    return [
        ("py_get_totals, 10 lines", lambda: get_totals(bill10, 2)),
        ("py_get_totals, 100 lines", lambda: get_totals(bill100, 2)),
        ("py_reckon_lines, 10 lines", lambda: m.py_reckon_lines(bill10, 2)),
        ("typical sale (lines + totals)", lambda: get_totals(deliverable(sale), 2)),
        ("py_tip_fee_lines", lambda: m.py_tip_fee_lines(tip)),
        ("typical sale, new pricing each call", lambda: get_totals(deliverable(next(fresh_sales)), 2)),
        ("py_tip_fee_lines, new pricing each call", lambda: m.py_tip_fee_lines(next(fresh_tips))),
        ('py_divide_amount("1000.00", 7, 2)', lambda: m.py_divide_amount("1000.00", 7, 2)),
        ('py_divide_amount("1000.00", 65535, 2)', lambda: m.py_divide_amount("1000.00", 65535, 2)),
    ]


def main() -> None:
    ap = argparse.ArgumentParser()
    ap.add_argument("builds", nargs="+")
    ap.add_argument("--rounds", type=int, default=15)
    args = ap.parse_args()
    modules = [load(p) for p in args.builds]
    table = [rows(m) for m in modules]
    # the builds must agree before they are compared
    for k, (name, _) in enumerate(table[0]):
        results = {repr(r[k][1]()) for r in table}
        assert len(results) == 1, name
    print(f"CPython {sys.version.split()[0]}; builds: " + ", ".join(f"[{i}] {p}" for i, p in enumerate(args.builds)), flush=True)
    print(f"{'case':<42}" + "".join(f"{f'[{i}]':>11}" for i in range(len(modules))) +
          "".join(f"{f'[{i}]/[0]':>9}" for i in range(1, len(modules))))
    for k, (name, _) in enumerate(table[0]):
        calls = [r[k][1] for r in table]
        numbers = [timeit.Timer(f).autorange()[0] for f in calls]
        best = [float("inf")] * len(calls)
        for _ in range(args.rounds):
            for i, (f, n) in enumerate(zip(calls, numbers)):
                best[i] = min(best[i], timeit.timeit(f, number=n) / n)
        print(f"{name:<42}" + "".join(f"{b * 1e6:>9.3f}µs" for b in best) +
              "".join(f"{b / best[0]:>9.3f}" for b in best[1:]), flush=True)


if __name__ == "__main__":
    main()
