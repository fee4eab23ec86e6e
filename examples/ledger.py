"""A small ledger in SQLite: price sales in two currencies, store every line,
reload and freeze the lines, re-total them against the quote, split a total
into instalments, and re-total the whole ledger in worker processes.

Run it after installing the package:  python3 examples/ledger.py
"""
from __future__ import annotations

import sqlite3
from concurrent.futures import ProcessPoolExecutor
from typing import TYPE_CHECKING, TypeVar

import corbyl
from corbyl import Account, Category, LineType

if TYPE_CHECKING:  # the record types exist for the type checker only
    from corbyl import DeliverableLinesContext, LineItem, Pricing, Totals

M = TypeVar("M", LineType, Category, Account)


def members(cls: type[M]) -> dict[int, M]:
    """Stored integer -> member, built from the class itself."""
    return {int(m): m for m in vars(cls).values() if isinstance(m, cls)}


KINDS, CATEGORIES, ACCOUNTS = members(LineType), members(Category), members(Account)

# Two currencies: euros have two decimal places, yen none.
CURRENCIES = {"EUR": 2, "JPY": 0}


def pricing(q: int) -> Pricing:
    cents = "0.30" if q else "40"
    return {
        "plans": [{
            "id": 1, "name": "studio", "connection_fee_waived": False, "per_deliverable_price": "0",
            "max_simultaneous_orders": 10, "waitlisting": False, "paypal_invoicing": False,
            "shield_static_price": cents, "shield_percentage_price": "2.5",
        }],
        "minimum_price": "1", "table_percentage": "10", "table_static": cents, "table_tax": "8.25",
        "processing_percentage": "2.9", "processing_static": cents, "international_conversion_percentage": "1.0",
        "preferred_plan": "studio", "stripe_blended_rate_percentage": "2.9", "stripe_blended_rate_static": cents,
        "stripe_payout_cross_border_percentage": "0.25", "stripe_active_account_monthly_fee": "2" if q else "300",
        "stripe_payout_static": "0.25" if q else "35", "stripe_payout_percentage": "0.25",
    }


SALES = [  # (currency, base price, international, table product)
    ("EUR", "120.00", True, False),
    ("EUR", "19.99", False, True),
    ("JPY", "15800", False, False),
    ("JPY", "4200", True, True),
]

SCHEMA = """
create table sale (id integer primary key, currency text, total text);
create table line (
    sale integer, position integer, id integer, priority integer, kind integer, amount text,
    description text, frozen_value text, percentage text, category integer,
    destination_user_id integer, destination_account integer, back_into_percentage integer
)
"""


def quote(db: sqlite3.Connection) -> None:
    """Prices every sale, totals it and stores the sale and its lines."""
    for n, (currency, base, international, table) in enumerate(SALES, 1):
        q = CURRENCIES[currency]
        context: DeliverableLinesContext = {
            "base_price": base, "table_product": table, "escrow_enabled": True, "international": international,
            "extra_lines": [], "plan_name": "studio", "pricing": pricing(q), "user_id": 100 + n,
            "allow_soft_failure": False, "quantization": q,
        }
        lines = corbyl.py_deliverable_lines(context)
        totals = corbyl.py_get_totals(lines, q)
        db.execute("insert into sale values (?, ?, ?)", (n, currency, totals["total"]))
        for position, l in enumerate(lines):
            # each line is stored with its subtotal frozen: the bill is fixed
            db.execute(
                "insert into line values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                (n, position, l["id"], l["priority"], int(l["kind"]), l["amount"], l["description"],
                 totals["subtotals"][l["id"]], l["percentage"], int(l["category"]), l["destination_user_id"],
                 int(l["destination_account"]), int(l["back_into_percentage"])),
            )


def load(db: sqlite3.Connection, sale: int) -> list[LineItem]:
    """The stored lines of a sale, with members for the stored integers."""
    rows = db.execute(
        "select id, priority, kind, amount, description, frozen_value, percentage, category, "
        "destination_user_id, destination_account, back_into_percentage from line where sale = ? order by position",
        (sale,),
    )
    return [
        {
            "id": r[0], "priority": r[1], "kind": KINDS[r[2]], "amount": r[3], "description": r[4],
            "frozen_value": r[5], "percentage": r[6], "category": CATEGORIES[r[7]], "destination_user_id": r[8],
            "destination_account": ACCOUNTS[r[9]], "back_into_percentage": bool(r[10]),
        }
        for r in rows
    ]


def main() -> None:
    db = sqlite3.connect(":memory:")
    db.executescript(SCHEMA)
    quote(db)

    sales = db.execute("select id, currency, total from sale order by id").fetchall()
    bills: list[list[LineItem]] = []
    for sale, currency, quoted in sales:
        q = CURRENCIES[currency]
        frozen = load(db, sale)
        bills.append(frozen)
        # frozen lines are only summed: the stored subtotals give the quote back
        refetched: Totals = corbyl.py_get_totals(frozen, q)
        assert refetched["total"] == quoted, (refetched, quoted)
        parts = corbyl.py_divide_amount(quoted, 3, q)
        print(f"sale {sale}: {quoted:>9} {currency} in {len(frozen)} lines, instalments {', '.join(parts)}")

    # the whole ledger again, in worker processes that receive the line dicts
    quantizations = [CURRENCIES[currency] for _, currency, _ in sales]
    with ProcessPoolExecutor(max_workers=2) as pool:
        again = list(pool.map(corbyl.py_reckon_lines, bills, quantizations))
    assert again == [quoted for _, _, quoted in sales], again
    print(f"re-totalled {len(bills)} sales in worker processes: all equal to the quotes")


if __name__ == "__main__":
    main()
