"""The module's jobs written plainly in Python with the ``decimal`` module,
the way a careful user would without corbyl: the baseline of the benchmarks."""
from __future__ import annotations

from decimal import ROUND_DOWN, Decimal, localcontext


def divide_amount(amount: str, divisor: int, q: int) -> list[str]:
    a = Decimal(amount)
    quantum = Decimal(1).scaleb(-q)
    if a.quantize(quantum, rounding=ROUND_DOWN) != a:
        raise ValueError("Amount is improperly quantized. Cannot divide.")
    if divisor == 0:
        raise ValueError("Cannot divide by zero.")
    part = (a / divisor).quantize(quantum, rounding=ROUND_DOWN)
    remainder = a - part * divisor
    step = quantum if remainder >= 0 else -quantum
    parts = []
    for _ in range(divisor):
        if remainder:
            parts.append(part + step)
            remainder -= step
        else:
            parts.append(part)
    return [str(p) for p in parts]


def get_totals(lines: list[dict], q: int) -> dict:
    quantum = Decimal(1).scaleb(-q)

    def cut(v: Decimal) -> Decimal:
        return v.quantize(quantum, rounding=ROUND_DOWN)

    if lines and all(l["frozen_value"] is not None for l in lines):
        values = [Decimal(l["frozen_value"]) for l in lines]
        total = sum(values, Decimal(0))
        return {
            "total": str(cut(total)),
            "discount": str(cut(sum((v for v in values if v < 0), Decimal(0)))),
            "subtotals": {l["id"]: str(v) for l, v in zip(lines, values)},
        }
    groups: dict[int, list[dict]] = {}
    for l in lines:
        groups.setdefault(l["priority"], []).append(l)
    total = Decimal(0)
    discount = Decimal(0)
    subtotals: dict[int, tuple[dict, Decimal]] = {}
    with localcontext() as ctx:
        ctx.prec = 40
        for p in sorted(groups):
            group_sum = Decimal(0)
            for l in groups[p]:
                a = Decimal(l["amount"])
                f = Decimal(l["percentage"]) / 100
                if l["back_into_percentage"]:
                    b = total + a
                    x = b / (1 - f) - b
                else:
                    x = total * f
                v = a + x
                group_sum += v
                subtotals[l["id"]] = (l, v)
                if v < 0:
                    discount += v
            total += cut(group_sum)
    cut_values = {k: cut(v) for k, (l, v) in subtotals.items()}
    difference = total - sum(cut_values.values(), Decimal(0))
    if difference:
        positive = difference > 0
        candidates = [k for k, v in cut_values.items() if (v > 0 if positive else v < 0)]
        if not candidates:
            raise ValueError("No line items to distribute difference to.")
        candidates.sort(
            key=lambda k: (subtotals[k][0]["priority"] * (1 if positive else -1), -cut_values[k], -k)
        )
        step = quantum if positive else -quantum
        while difference:
            for k in reversed(candidates):
                if not difference:
                    break
                cut_values[k] += step
                difference -= step
    return {
        "total": str(total),
        "discount": str(cut(discount)),
        "subtotals": {k: str(v) for k, v in cut_values.items()},
    }


def reckon_lines(lines: list[dict], q: int) -> str:
    return get_totals(lines, q)["total"]


def _line(id, kind, priority, category, account, amount, percentage, back=False, user=None):
    return {
        "id": id, "priority": priority, "kind": kind, "amount": amount, "description": "",
        "frozen_value": None, "percentage": percentage, "category": category,
        "destination_user_id": user, "destination_account": account, "back_into_percentage": back,
    }


def tip_fee_lines(context: dict, T) -> list[dict]:
    p = context["pricing"]
    if p is None:
        raise ValueError("Pricing not specified.")
    pct = Decimal(p["processing_percentage"])
    if context["international"]:
        pct += Decimal(p["international_conversion_percentage"])
    out = [
        _line(-1, T.LineType.Processing, 300, T.Category.ProcessingFee, T.Account.Fund, p["processing_static"], str(pct)),
        _line(-7, T.LineType.CardFee, 350, T.Category.ThirdPartyFee, T.Account.Fund,
              p["stripe_blended_rate_static"], p["stripe_blended_rate_percentage"]),
        _line(-9, T.LineType.PayoutFee, 325, T.Category.ThirdPartyFee, T.Account.Fund,
              p["stripe_payout_static"], p["stripe_payout_percentage"]),
    ]
    if context["international"]:
        out.append(_line(-8, T.LineType.CrossBorderTransferFee, 325, T.Category.ThirdPartyFee, T.Account.Fund,
                         "0", p["stripe_payout_cross_border_percentage"]))
    return out


def deliverable_lines(c: dict, T) -> list[dict]:
    if c["plan_name"] is None:
        raise ValueError("No plan name specified.")
    p = c["pricing"]
    if p is None:
        raise ValueError("Pricing specification not provided.")
    plan = next((x for x in p["plans"] if x["name"] == c["plan_name"]), None)
    if plan is None:
        raise ValueError(f"Could not find {c['plan_name']} in plan list.")
    Decimal(c["base_price"])
    per_deliverable = Decimal(plan["per_deliverable_price"])
    lines = []
    if not any(l["kind"] == T.LineType.BasePrice for l in c["extra_lines"]):
        lines.append(_line(-1, T.LineType.BasePrice, 0, T.Category.EscrowHold, T.Account.Escrow,
                           c["base_price"], "0", user=c["user_id"]))
    total = Decimal(reckon_lines(lines + list(c["extra_lines"]), c["quantization"]))
    fee = (T.Category.ThirdPartyFee, T.Account.Fund)

    def processing():
        lines.append(_line(-7, T.LineType.CardFee, 350, *fee, p["stripe_blended_rate_static"],
                           p["stripe_blended_rate_percentage"], back=True))
        lines.append(_line(-9, T.LineType.PayoutFee, 325, *fee, p["stripe_payout_static"], p["stripe_payout_percentage"]))
        if c["international"]:
            lines.append(_line(-8, T.LineType.CrossBorderTransferFee, 325, *fee, "0",
                               p["stripe_payout_cross_border_percentage"]))
        if not plan["connection_fee_waived"]:
            lines.append(_line(-10, T.LineType.ConnectFee, 325, *fee, p["stripe_active_account_monthly_fee"], "0"))

    if c["table_product"]:
        lines.append(_line(-3, T.LineType.TableService, 400, T.Category.TableHandling, T.Account.Reserve,
                           p["table_static"], p["table_percentage"]))
        lines.append(_line(-4, T.LineType.Tax, 700, T.Category.Taxes, T.Account.MoneyHoleStage, "0", p["table_tax"]))
        if total > 0:
            processing()
    elif c["escrow_enabled"] and total > 0:
        shield = Decimal(plan["shield_percentage_price"])
        if c["international"]:
            shield += Decimal(p["international_conversion_percentage"])
        lines.append(_line(-5, T.LineType.Shield, 330, T.Category.ShieldFee, T.Account.Fund,
                           plan["shield_static_price"], str(shield)))
        processing()
    elif per_deliverable > 0:
        lines.append(_line(-6, T.LineType.DeliverableTracking, 300, T.Category.SubscriptionDues, T.Account.Fund,
                           plan["per_deliverable_price"], "0"))
    return lines + list(c["extra_lines"])
