"""Times each module function against the same job written plainly in Python
with the ``decimal`` module, in the same process, and prints the ratios.

    python3 benchmarks/bench.py            # full run
    python3 benchmarks/bench.py --quick    # fewer repeats (CI)
"""
from __future__ import annotations

import argparse
import copy
import itertools
import pathlib
import sys
import timeit

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

import corbyl  # noqa: E402
import plain  # noqa: E402
from corbyl import Account, Category, LineType  # noqa: E402


def line(id, priority, amount, percentage="0", back=False, members=None):
    m = members or {"Extra": LineType.Extra, "ExtraItem": Category.ExtraItem, "Fund": Account.Fund}
    return {
        "id": id, "priority": priority, "kind": m["Extra"], "amount": amount, "description": "",
        "frozen_value": None, "percentage": percentage, "category": m["ExtraItem"],
        "destination_user_id": None, "destination_account": m["Fund"], "back_into_percentage": back,
    }


def bill_with(n: int, members: dict | None) -> list[dict]:
    """n lines in three priority groups: amounts, percentages, one grossed-up
    line; `members` are the classes' members to use (those of corbyl if None)."""
    out = []
    for i in range(n):
        group = i * 3 // n
        if group == 0:
            out.append(line(i + 1, 0, f"{10 + i}.{i % 100:02d}", members=members))
        elif group == 1:
            out.append(line(i + 1, 100, "0.30", "2.5", members=members))
        else:
            out.append(line(i + 1, 200, "0.25", "2.9", back=(i == n - 1), members=members))
    return out


def bill(n: int) -> list[dict]:
    return bill_with(n, None)


PRICING = {
    "plans": [
        {"id": 1, "name": "starter", "connection_fee_waived": False, "per_deliverable_price": "0.50",
         "max_simultaneous_orders": 3, "waitlisting": False, "paypal_invoicing": False,
         "shield_static_price": "0.75", "shield_percentage_price": "3.5"},
        {"id": 2, "name": "studio", "connection_fee_waived": True, "per_deliverable_price": "0",
         "max_simultaneous_orders": 20, "waitlisting": True, "paypal_invoicing": True,
         "shield_static_price": "0.50", "shield_percentage_price": "2.5"},
    ],
    "minimum_price": "5.00", "table_percentage": "10", "table_static": "0.30", "table_tax": "8.25",
    "processing_percentage": "2.9", "processing_static": "0.30", "international_conversion_percentage": "1.0",
    "preferred_plan": "studio", "stripe_blended_rate_percentage": "2.9", "stripe_blended_rate_static": "0.30",
    "stripe_payout_cross_border_percentage": "0.25", "stripe_active_account_monthly_fee": "2.00",
    "stripe_payout_static": "0.25", "stripe_payout_percentage": "0.25",
}
SALE = {
    "base_price": "120.00", "table_product": False, "escrow_enabled": True, "international": True,
    "extra_lines": [], "plan_name": "starter", "pricing": PRICING, "user_id": 7,
    "allow_soft_failure": False, "quantization": 2,
}
TIP = {"pricing": PRICING, "international": True, "quantization": 2}


def module_sale(context: dict = SALE):
    return corbyl.py_get_totals(corbyl.py_deliverable_lines(context), 2)


def plain_sale(context: dict = SALE):
    return plain.get_totals(plain.deliverable_lines(context, corbyl), 2)


# A host that prices from one pricing dict, loaded once, passes the same dict
# call after call (the rows above); these pass a pricing dict of its own to
# every call: a thousand copies, taken in turn.
FRESH_SALES = itertools.cycle([copy.deepcopy(SALE) for _ in range(1000)])
FRESH_TIPS = itertools.cycle([copy.deepcopy(TIP) for _ in range(1000)])


BILL10, BILL100 = bill(10), bill(100)

CASES = [
    ("py_get_totals, 10 lines", lambda: corbyl.py_get_totals(BILL10, 2), lambda: plain.get_totals(BILL10, 2)),
    ("py_get_totals, 100 lines", lambda: corbyl.py_get_totals(BILL100, 2), lambda: plain.get_totals(BILL100, 2)),
    ("py_reckon_lines, 10 lines", lambda: corbyl.py_reckon_lines(BILL10, 2), lambda: plain.reckon_lines(BILL10, 2)),
    ("typical sale (lines + totals)", module_sale, plain_sale),
    ("py_tip_fee_lines", lambda: corbyl.py_tip_fee_lines(TIP), lambda: plain.tip_fee_lines(TIP, corbyl)),
    ("typical sale, new pricing each call", lambda: module_sale(next(FRESH_SALES)),
     lambda: plain_sale(next(FRESH_SALES))),
    ("py_tip_fee_lines, new pricing each call", lambda: corbyl.py_tip_fee_lines(next(FRESH_TIPS)),
     lambda: plain.tip_fee_lines(next(FRESH_TIPS), corbyl)),
    ('py_divide_amount("1000.00", 7, 2)', lambda: corbyl.py_divide_amount("1000.00", 7, 2),
     lambda: plain.divide_amount("1000.00", 7, 2)),
    ('py_divide_amount("1000.00", 65535, 2)', lambda: corbyl.py_divide_amount("1000.00", 65535, 2),
     lambda: plain.divide_amount("1000.00", 65535, 2)),
]


def per_call(f, repeat: int) -> float:
    number, _ = timeit.Timer(f).autorange()
    return min(timeit.repeat(f, number=number, repeat=repeat)) / number


def paired(f, g, rounds: int) -> tuple[float, float]:
    """The best time per call of f and of g, timed in alternation, so that a
    slow spell of a shared machine falls on both alike."""
    nf, _ = timeit.Timer(f).autorange()
    ng, _ = timeit.Timer(g).autorange()
    best_f = best_g = float("inf")
    for _ in range(rounds):
        best_f = min(best_f, timeit.timeit(f, number=nf) / nf)
        best_g = min(best_g, timeit.timeit(g, number=ng) / ng)
    return best_f, best_g


def fmt(seconds: float) -> str:
    if seconds >= 1e-3:
        return f"{seconds * 1e3:8.2f} ms"
    return f"{seconds * 1e6:8.2f} µs"


def testing_extension():
    """The test-only extension with the floor functions, built on demand."""
    root = pathlib.Path(__file__).resolve().parent.parent
    sys.path.insert(0, str(root / "tests"))
    from _build import build_testing_extension

    sys.path.insert(0, str(build_testing_extension()))
    import _corbyl_testing

    return _corbyl_testing


def floors(repeat: int) -> None:
    """Each call against its floor (converting the same arguments and building
    a result of the same shape, without computing) and against the limit of
    the interface (only reaching every field value of its arguments, the
    cheapest way the interpreter allows, converting and building nothing)."""
    t = testing_extension()
    sale_lines = corbyl.py_deliverable_lines(SALE)
    tip_lines = corbyl.py_tip_fee_lines(TIP)
    # the lines that the floors write, as the calls' own
    t.floor_shape("sale", sale_lines)
    t.floor_shape("tip", tip_lines)
    # a floor builds what its call builds: the same lines, as many subtotals
    # given back as the caller's own amount strs, and as many new strs (but
    # for a group that the rounding difference split, which only the
    # computation knows)
    assert t.floor_lines(SALE) == sale_lines and t.floor_tip_lines(TIP) == tip_lines
    for lines in (BILL10, BILL100, sale_lines):
        given = {id(line["amount"]) for line in lines}
        (real_new, real_given), (floor_new, floor_given) = (
            (len(ids - given), len(ids & given))
            for ids in ({id(v) for v in r["subtotals"].values()}
                        for r in (corbyl.py_get_totals(lines, 2), t.floor_totals(lines, 2))))
        assert real_given == floor_given and 0 <= real_new - floor_new <= 1, (real_new, floor_new, real_given)

    def floor_sale():
        return t.floor_totals(t.floor_lines(SALE), 2)

    def limit_sale():
        return t.touch(SALE), t.touch(sale_lines)

    rows = [
        ("py_get_totals, 10 lines", lambda: corbyl.py_get_totals(BILL10, 2), lambda: t.floor_totals(BILL10, 2),
         lambda: t.touch(BILL10)),
        ("py_get_totals, 100 lines", lambda: corbyl.py_get_totals(BILL100, 2), lambda: t.floor_totals(BILL100, 2),
         lambda: t.touch(BILL100)),
        ("typical sale (lines + totals)", module_sale, floor_sale, limit_sale),
        ("py_tip_fee_lines", lambda: corbyl.py_tip_fee_lines(TIP), lambda: t.floor_tip_lines(TIP),
         lambda: t.touch(TIP)),
    ]
    print()
    print(f"{'call against its floor and the limit':<40}{'corbyl':>12}{'floor':>12}{'limit':>12}"
          f"{'/floor':>8}{'/limit':>8}")
    for name, call, floor, limit in rows:
        # each ratio from a call and its reference timed in alternation
        a, c = paired(call, limit, 5 * repeat)
        over_floor = ""
        floor_time = ""
        if floor:
            a2, b = paired(call, floor, 5 * repeat)
            over_floor, floor_time = f"{a2 / b:>7.2f}x", fmt(b)
        print(f"{name:<40}{fmt(a):>12}{floor_time:>12}{fmt(c):>12}{over_floor:>8}{a / c:>7.1f}x")


def core(repeat: int) -> None:
    """The native core alone (Google Benchmark, built on demand) next to
    Python's decimal doing the same operation, in nanoseconds."""
    import json
    import subprocess
    from decimal import ROUND_DOWN, Decimal

    root = pathlib.Path(__file__).resolve().parent.parent
    sys.path.insert(0, str(root / "tests"))
    from _build import build

    out = build("bench", {"CORBYL_EXTENSION": "OFF", "CORBYL_BENCHMARKS": "ON"})
    run = subprocess.run([str(out / "core_bench"), "--benchmark_format=json", "--benchmark_min_time=0.2"],
                         capture_output=True, text=True, check=True)
    native = {b["name"]: b["cpu_time"] for b in json.loads(run.stdout)["benchmarks"]}
    a, b, d = Decimal("1234.56"), Decimal("0.0335"), Decimal("0.029")
    one, r, q = Decimal("1"), Decimal("0.971"), Decimal("35.801250")
    cent = Decimal("0.01")
    python = {
        "BM_Parse": lambda: Decimal("1234.56"),
        "BM_Print": lambda: str(a),
        "BM_Add": lambda: a + b,
        "BM_Multiply": lambda: a * d,
        "BM_Divide": lambda: one / r,
        "BM_DivideExact": lambda: Decimal("1000.00") / 8,
        "BM_Quantize": lambda: q.quantize(cent, rounding=ROUND_DOWN),
    }
    print()
    print(f"{'native core, one operation':<40}{'corbyl':>12}{'decimal':>14}{'ratio':>9}")
    for name, f in python.items():
        py_ns = per_call(f, repeat) * 1e9
        print(f"{name[3:]:<40}{native[name]:>9.1f} ns{py_ns:>11.1f} ns{py_ns / native[name]:>8.1f}x")
    # the computation of a totals call without its conversions (the copy of
    # the lines that the benchmark makes for each call taken off)
    for n in (10, 100):
        alone = native[f"BM_Totals/{n}"] - native[f"BM_CopyLines/{n}"]
        print(f"{f'totals of {n} lines, computation alone':<40}{alone / 1e3:>9.2f} µs")


def main() -> None:
    ap = argparse.ArgumentParser()
    ap.add_argument("--quick", action="store_true")
    ap.add_argument("--no-floor", action="store_true",
                    help="skip the floors and the native core (they build test-only code with CMake)")
    args = ap.parse_args()
    repeat = 3 if args.quick else 7
    # the two sides must agree before they are compared
    assert corbyl.py_get_totals(BILL10, 2) == plain.get_totals(BILL10, 2)
    assert corbyl.py_divide_amount("1000.00", 7, 2) == plain.divide_amount("1000.00", 7, 2)
    assert module_sale() == plain_sale()
    print(f"CPython {sys.version.split()[0]}")
    print(f"{'case':<40}{'corbyl':>12}{'plain Python':>14}{'ratio':>9}")
    for name, fast, slow in CASES:
        a, b = paired(fast, slow, repeat)
        print(f"{name:<40}{fmt(a):>12}{fmt(b):>14}{b / a:>8.1f}x")
    if not args.no_floor:
        floors(repeat)
        core(repeat)


if __name__ == "__main__":
    main()
