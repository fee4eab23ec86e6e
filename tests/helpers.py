"""Builders of line items, pricing records and contexts for the tests."""
from __future__ import annotations

import corbyl

KEYS = [
    "id",
    "priority",
    "kind",
    "amount",
    "description",
    "frozen_value",
    "percentage",
    "category",
    "destination_user_id",
    "destination_account",
    "back_into_percentage",
]


def line(id=1, priority=0, amount="0", percentage="0", back=False, frozen=None, **over):
    d = {
        "id": id,
        "priority": priority,
        "kind": corbyl.LineType.Extra,
        "amount": amount,
        "description": "",
        "frozen_value": frozen,
        "percentage": percentage,
        "category": corbyl.Category.ExtraItem,
        "destination_user_id": None,
        "destination_account": corbyl.Account.Fund,
        "back_into_percentage": back,
    }
    d.update(over)
    return d


def plan(name="basic", **over):
    p = {
        "id": 1,
        "name": name,
        "connection_fee_waived": False,
        "per_deliverable_price": "0.50",
        "max_simultaneous_orders": 10,
        "waitlisting": False,
        "paypal_invoicing": False,
        "shield_static_price": "0.75",
        "shield_percentage_price": "2.5",
    }
    p.update(over)
    return p


def pricing(plans=None, **over):
    p = {
        "plans": [plan()] if plans is None else plans,
        "minimum_price": "1.00",
        "table_percentage": "10",
        "table_static": "0.30",
        "table_tax": "8.25",
        "processing_percentage": "2.90",
        "processing_static": "0.30",
        "international_conversion_percentage": "1.00",
        "preferred_plan": "basic",
        "stripe_blended_rate_percentage": "2.9",
        "stripe_blended_rate_static": "0.30",
        "stripe_payout_cross_border_percentage": "0.25",
        "stripe_active_account_monthly_fee": "2.00",
        "stripe_payout_static": "0.25",
        "stripe_payout_percentage": "0.25",
    }
    p.update(over)
    return p


def sale(**over):
    c = {
        "base_price": "25.00",
        "table_product": False,
        "escrow_enabled": True,
        "international": False,
        "extra_lines": [],
        "plan_name": "basic",
        "pricing": pricing(),
        "user_id": 42,
        "allow_soft_failure": False,
        "quantization": 2,
    }
    c.update(over)
    return c


def tip(**over):
    c = {"pricing": pricing(), "international": False, "quantization": 2}
    c.update(over)
    return c


def cause_chain(exc: BaseException) -> list[BaseException]:
    out = [exc]
    while out[-1].__cause__ is not None:
        out.append(out[-1].__cause__)
    return out


class Timeout(Exception):
    pass


class time_limit:
    """Fails the block with Timeout if it runs longer than `seconds` (main thread)."""

    def __init__(self, seconds: int):
        self.seconds = seconds

    def __enter__(self):
        import signal

        def on_alarm(*_):
            raise Timeout(f"took longer than {self.seconds} s")

        self.old = signal.signal(signal.SIGALRM, on_alarm)
        signal.alarm(self.seconds)

    def __exit__(self, *exc):
        import signal

        signal.alarm(0)
        signal.signal(signal.SIGALRM, self.old)
        return False
