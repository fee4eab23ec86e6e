"""Bills that share one id: py_get_totals on 100,000 lines with one id whose
descriptions differ at the start, in the middle or at the end, against the
same number of lines with distinct ids, in the same run. The lines that
share an id are all hashed over every field; with a weak hash the map would
collide and the call would slow down quadratically.

    python3 benchmarks/hostile.py [lines]
"""
from __future__ import annotations

import sys
import time

import corbyl
from corbyl import Account, Category, LineType


def line(id: int, description: str) -> dict:
    return {
        "id": id, "priority": 0, "kind": LineType.Extra, "amount": "1.00", "description": description,
        "frozen_value": None, "percentage": "0", "category": Category.ExtraItem,
        "destination_user_id": None, "destination_account": Account.Fund, "back_into_percentage": False,
    }


def best(lines: list[dict], rounds: int = 3) -> float:
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        corbyl.py_get_totals(lines, 2)
        times.append(time.perf_counter() - start)
    return min(times)


def main() -> None:
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 100_000
    pad = "x" * 24
    cases = {
        "distinct ids": [line(i, f"Seat {i:06d}") for i in range(n)],
        "one id, texts differing at the start": [line(0, f"{i:06d}{pad}") for i in range(n)],
        "one id, texts differing in the middle": [line(0, f"{pad[:12]}{i:06d}{pad[:12]}") for i in range(n)],
        "one id, texts differing at the end": [line(0, f"{pad}{i:06d}") for i in range(n)],
    }
    base = best(cases["distinct ids"])
    print(f"CPython {sys.version.split()[0]}, {n:,} lines")
    print(f"{'bill':<42}{'time':>10}{'against distinct ids':>22}")
    for name, lines in cases.items():
        t = base if name == "distinct ids" else best(lines)
        print(f"{name:<42}{t * 1e3:>8.1f} ms{t / base:>21.2f}x")


if __name__ == "__main__":
    main()
