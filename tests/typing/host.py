"""A small host program that uses every function of corbyl; it must
type-check under mypy --strict against the installed stubs."""
from __future__ import annotations

from typing import TYPE_CHECKING, cast

import corbyl
from corbyl import Account, Category, LineType

if TYPE_CHECKING:
    from corbyl import DeliverableLinesContext, ErrorPlace, LineItem, Pricing, ServicePlan, TipLinesContext, Totals


def extra(id: int, amount: str) -> LineItem:
    return {
        "id": id,
        "priority": 0,
        "kind": LineType.AddOn,
        "amount": amount,
        "description": "gift wrap",
        "frozen_value": None,
        "percentage": "0",
        "category": Category.ExtraItem,
        "destination_user_id": None,
        "destination_account": Account.Escrow,
        "back_into_percentage": False,
    }


def pricing() -> Pricing:
    plan: ServicePlan = {
        "id": 1,
        "name": "basic",
        "connection_fee_waived": False,
        "per_deliverable_price": "0.50",
        "max_simultaneous_orders": 3,
        "waitlisting": False,
        "paypal_invoicing": False,
        "shield_static_price": "0.75",
        "shield_percentage_price": "2.5",
    }
    return {
        "plans": [plan],
        "minimum_price": "1",
        "table_percentage": "10",
        "table_static": "0.30",
        "table_tax": "8",
        "processing_percentage": "2.9",
        "processing_static": "0.30",
        "international_conversion_percentage": "1",
        "preferred_plan": "basic",
        "stripe_blended_rate_percentage": "2.9",
        "stripe_blended_rate_static": "0.30",
        "stripe_payout_cross_border_percentage": "0.25",
        "stripe_active_account_monthly_fee": "2",
        "stripe_payout_static": "0.25",
        "stripe_payout_percentage": "0.25",
    }


def main() -> None:
    context: DeliverableLinesContext = {
        "base_price": "25.00",
        "table_product": False,
        "escrow_enabled": True,
        "international": False,
        "extra_lines": [extra(1, "3.00")],
        "plan_name": "basic",
        "pricing": pricing(),
        "user_id": 7,
        "allow_soft_failure": False,
        "quantization": 2,
    }
    lines: list[LineItem] = corbyl.py_deliverable_lines(context)
    totals: Totals = corbyl.py_get_totals(lines, 2)
    total: str = totals["total"]
    assert corbyl.py_reckon_lines(lines, 2) == total
    parts: list[str] = corbyl.py_divide_amount(total, 3, 2)
    tip: TipLinesContext = {"pricing": pricing(), "international": True, "quantization": 2}
    fees = corbyl.py_tip_fee_lines(tip)
    kinds: list[int] = [int(line["kind"]) for line in fees]
    try:
        corbyl.py_divide_amount("1", 3, 29)
    except corbyl.PanicException as e:
        print(e)
    try:
        corbyl.py_get_totals([extra(1, "1,5")], 2)
    except ValueError as e:
        place = cast("ErrorPlace", e)
        path: tuple[str | int, ...] = place.corbyl_path
        print(place.corbyl_argument, path, place.corbyl_line_id)
    print(parts, kinds, totals["subtotals"].get(-1), LineType.Tip == 4)


if __name__ == "__main__":
    main()
