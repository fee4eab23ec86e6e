"""A small, complete bill: price a sale from a pricing record with two
plans, total it, split the total into instalments, and print it.

Run it after installing the package:  python3 examples/bill.py
"""
from __future__ import annotations

import re
from decimal import Decimal
from typing import TYPE_CHECKING

import corbyl
from corbyl import Account, Category, LineType

if TYPE_CHECKING:  # the record types exist for the type checker only
    from corbyl import DeliverableLinesContext, LineItem, Pricing

PRICING: Pricing = {
    "plans": [
        {
            "id": 1, "name": "starter", "connection_fee_waived": False, "per_deliverable_price": "0.50",
            "max_simultaneous_orders": 3, "waitlisting": False, "paypal_invoicing": False,
            "shield_static_price": "0.75", "shield_percentage_price": "3.5",
        },
        {
            "id": 2, "name": "studio", "connection_fee_waived": True, "per_deliverable_price": "0",
            "max_simultaneous_orders": 20, "waitlisting": True, "paypal_invoicing": True,
            "shield_static_price": "0.50", "shield_percentage_price": "2.5",
        },
    ],
    "minimum_price": "5.00",
    "table_percentage": "10", "table_static": "0.30", "table_tax": "8.25",
    "processing_percentage": "2.9", "processing_static": "0.30",
    "international_conversion_percentage": "1.0",
    "preferred_plan": "studio",
    "stripe_blended_rate_percentage": "2.9", "stripe_blended_rate_static": "0.30",
    "stripe_payout_cross_border_percentage": "0.25",
    "stripe_active_account_monthly_fee": "2.00",
    "stripe_payout_static": "0.25", "stripe_payout_percentage": "0.25",
}

# The buyer adds a rush delivery and a loyalty discount of its own.
EXTRAS: list[LineItem] = [
    {
        "id": 1, "priority": 0, "kind": LineType.AddOn, "amount": "15.00", "description": "Rush delivery",
        "frozen_value": None, "percentage": "0", "category": Category.ExtraItem,
        "destination_user_id": 7, "destination_account": Account.Escrow, "back_into_percentage": False,
    },
    {
        "id": 2, "priority": 1, "kind": LineType.Extra, "amount": "0", "description": "Loyalty discount 5 %",
        "frozen_value": None, "percentage": "-5", "category": Category.Correction,
        "destination_user_id": None, "destination_account": Account.Escrow, "back_into_percentage": False,
    },
]

QUANTIZATION = 2
INSTALMENTS = 3


# The name of each kind, from the class itself.
KIND_NAMES = {int(member): name for name, member in vars(LineType).items() if isinstance(member, LineType)}


def label(line: LineItem) -> str:
    """The line's description, or its kind in words ("Cross border transfer fee")."""
    if line["description"]:
        return line["description"]
    words = re.findall(r"[A-Z][a-z]*", KIND_NAMES[int(line["kind"])])
    return " ".join([words[0]] + [w.lower() for w in words[1:]])


def main() -> None:
    context: DeliverableLinesContext = {
        "base_price": "120.00",
        "table_product": False,
        "escrow_enabled": True,
        "international": True,
        "extra_lines": EXTRAS,
        "plan_name": "starter",
        "pricing": PRICING,
        "user_id": 7,
        "allow_soft_failure": False,
        "quantization": QUANTIZATION,
    }
    lines = corbyl.py_deliverable_lines(context)
    totals = corbyl.py_get_totals(lines, QUANTIZATION)
    instalments = corbyl.py_divide_amount(totals["total"], INSTALMENTS, QUANTIZATION)

    width = 44
    print("Bill for one commission, plan 'starter', international card".center(width + 16))
    print("-" * (width + 16))
    print(f"{'line':<{width}}{'rate':>6}{'amount':>10}")
    for line in lines:
        rate = f"{line['percentage']}%" if Decimal(line["percentage"]) else ""
        print(f"{label(line):<{width}}{rate:>6}{totals['subtotals'][line['id']]:>10}")
    print("-" * (width + 16))
    print(f"{'Discount':<{width + 6}}{totals['discount']:>10}")
    print(f"{'Total':<{width + 6}}{totals['total']:>10}")
    print()
    for n, part in enumerate(instalments, 1):
        print(f"{f'Instalment {n} of {INSTALMENTS}':<{width + 6}}{part:>10}")

    # The parts add up to the total, and the subtotals add up to it too.
    assert sum(map(Decimal, instalments)) == Decimal(totals["total"])
    assert sum(map(Decimal, totals["subtotals"].values())) == Decimal(totals["total"])


if __name__ == "__main__":
    main()
