"""Re-total stored bills in worker processes the way Dask, Ray and Spark ship
work: a function defined in a notebook or a script's __main__ is pickled by
value (with cloudpickle), each worker loads its own part of the bills, and
returns the totals of that part.

Run it after installing the package and cloudpickle:  python3 examples/workers.py
"""
from __future__ import annotations

import multiprocessing
import os
import sqlite3
import sys
import tempfile
from concurrent.futures import ProcessPoolExecutor
from typing import TYPE_CHECKING, Any, cast

import cloudpickle  # type: ignore[import-untyped]

import corbyl
from corbyl import LineType

if TYPE_CHECKING:  # the record types exist for the type checker only
    from corbyl import DeliverableLinesContext, LineItem, Pricing

KEYS = ["id", "priority", "kind", "amount", "description", "frozen_value", "percentage", "category",
        "destination_user_id", "destination_account", "back_into_percentage"]
MEMBER_KEYS = {"kind": "LineType", "category": "Category", "destination_account": "Account"}


def run(payload: bytes, *args: Any) -> Any:
    """A worker's entry, as a cluster's own: the shipped function, unpickled and called."""
    return cloudpickle.loads(payload)(*args)


def total_part(path: str, bill_ids: list[int]) -> list[tuple[int, str]]:
    """Shipped by value. It reaches the classes through the module (corbyl.LineType),
    and loads its bills here, in the worker, turning the stored integers back into
    members."""
    members = {
        name: {int(m): m for m in vars(getattr(corbyl, name)).values() if isinstance(m, getattr(corbyl, name))}
        for name in ("LineType", "Category", "Account")
    }
    out = []
    with sqlite3.connect(path) as db:
        for bill in bill_ids:
            rows = db.execute(f"select {', '.join(KEYS)} from line where bill = ? order by position", (bill,))
            lines: list[LineItem] = []
            for row in rows:
                line = dict(zip(KEYS, row))
                for key, cls in MEMBER_KEYS.items():
                    line[key] = members[cls][line[key]]
                line["back_into_percentage"] = bool(line["back_into_percentage"])
                lines.append(cast("LineItem", line))
            out.append((bill, corbyl.py_get_totals(lines, 2)["total"]))
    return out


def names_the_class(lines: list[LineItem]) -> list[LineItem]:
    """Names LineType itself (imported from corbyl): shipped by value, the class would
    have to be pickled too, and it cannot be."""
    return [l for l in lines if l["kind"] == LineType.Tip]


def store_bills(path: str, pricing: Pricing, count: int) -> dict[int, str]:
    """`count` sales priced and stored, their lines' members as integers; their totals."""
    totals = {}
    with sqlite3.connect(path) as db:
        db.execute(f"create table line (bill integer, position integer, {', '.join(KEYS)})")
        for bill in range(count):
            context: DeliverableLinesContext = {
                "base_price": f"{10 + bill}.{bill % 100:02d}", "table_product": bill % 3 == 0, "escrow_enabled": True,
                "international": bill % 2 == 0, "extra_lines": [], "plan_name": "starter", "pricing": pricing,
                "user_id": bill, "allow_soft_failure": False, "quantization": 2,
            }
            lines = corbyl.py_deliverable_lines(context)
            totals[bill] = corbyl.py_get_totals(lines, 2)["total"]
            for position, l in enumerate(lines):
                values = cast("dict[str, Any]", l)
                row = [int(values[k]) if k in MEMBER_KEYS else values[k] for k in KEYS]
                db.execute(f"insert into line values (?, ?, {', '.join('?' * len(KEYS))})", [bill, position, *row])
    return totals


def main() -> None:
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    from bill import PRICING

    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "bills.db")
        expected = store_bills(path, PRICING, 40)
        parts = [list(range(k, 40, 4)) for k in range(4)]
        # a fresh interpreter per worker, as on a cluster: nothing is inherited
        with ProcessPoolExecutor(2, mp_context=multiprocessing.get_context("spawn")) as pool:
            shipped = cloudpickle.dumps(total_part)
            totals = pool.map(run, [shipped] * len(parts), [path] * len(parts), parts)
            results = [r for part in totals for r in cast("list[tuple[int, str]]", part)]
        assert dict(results) == expected, "the workers' totals differ"
        print(f"{len(results)} bills re-totalled in 2 workers, {len(parts)} parts: the totals agree")
    try:
        cloudpickle.loads(cloudpickle.dumps(names_the_class))
        print("a function that names LineType itself travels")
    except Exception as e:  # noqa: BLE001 (the pickler's own error, whatever its type)
        print(f"a function that names LineType itself does not travel: {type(e).__name__}: {e}")


if __name__ == "__main__":
    main()
