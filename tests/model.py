"""A plainly written model of the tabulation: totals in frozen and computed
mode, and the redistribution of rounding differences. It uses the
reference arithmetic (tests/reference.py), so scales and 96-bit rounding
match the module's number exactly."""
from __future__ import annotations

import functools

import reference as ref

HUNDREDTH = (1, 2, False)
ONE = (1, 0, False)
NO_CANDIDATES = (
    "No line items to distribute difference to. You may be missing a base price line item, "
    "which should be included even if the base price would be zero."
)
TOO_LARGE = "Amounts are too large to total exactly at this quantization."


class ModelError(Exception):
    pass


def parse(t: str):
    return ref.from_text(t)


def key(line: dict):
    return tuple((k, line[k]) if k not in ("kind", "category", "destination_account") else (k, int(line[k])) for k in line)


def zero_at(q):
    if q > 28:
        raise ref.Overflow(f"Scale exceeds the maximum precision allowed: {q} > 28")
    return (0, q, False)


def is_zero(v):
    return v[0] == 0


def totals(lines: list[dict], q: int):
    """Returns (total, discount, {key: (line, value)}, before) with values as
    reference triples; `before` holds the quantized subtotals before any
    redistribution."""
    if lines and all(l["frozen_value"] is not None for l in lines):
        total = discount = (0, 0, False)
        m = {}
        for l in lines:
            v = parse(l["frozen_value"])
            if ref.compare(v, (0, 0, False)) < 0:
                discount = ref.add(discount, v)
            total = ref.add(total, v)
            m[key(l)] = (l, v)
        return total, discount, m, None
    zero = zero_at(q)
    t = d = zero
    m: dict = {}
    for p in sorted({l["priority"] for l in lines}):
        group_sum = zero
        for l in (l for l in lines if l["priority"] == p):
            a = parse(l["amount"])
            f = ref.mul(HUNDREDTH, parse(l["percentage"]))
            if not l["back_into_percentage"]:
                x = ref.mul(t, f)
            else:
                r = ref.div(ONE, ref.add(ONE, f, subtract=True))
                b = ref.add(t, a)
                x = ref.add(ref.mul(b, r), b, subtract=True)
            v = ref.add(ref.add(zero, a), x)
            s = ref.add(x, a)
            k = key(l)
            new = k not in m
            m[k] = (l, s)
            if new and not is_zero(v):
                group_sum = ref.add(group_sum, v)
            if ref.compare(s, zero) < 0:
                d = ref.add(d, s)
        t = ref.add(t, ref.quantize(group_sum, q))
    s_sum = zero
    for k, (l, v) in m.items():
        m[k] = (l, ref.quantize(v, q))
        s_sum = ref.add(s_sum, m[k][1])
    before = {k: v for k, (l, v) in m.items()}
    diff = ref.add(t, s_sum, subtract=True)
    if not is_zero(diff):
        redistribute(m, diff, q, len(lines))
    exact = sum(ref.value(v) for _, v in m.values())
    if exact != ref.value(t):
        raise ModelError(TOO_LARGE)
    return t, ref.quantize(d, q), m, before


def redistribute(m, diff, q, n_lines):
    zero = zero_at(q)
    quanta = ref.value(diff) * 10**q
    if quanta != int(quanta) or abs(quanta) > 2 * n_lines:
        raise ModelError(TOO_LARGE)
    positive = ref.compare(diff, zero) > 0
    step = (1, q, not positive)
    cands = [(k, l, v) for k, (l, v) in m.items() if (ref.compare(v, zero) > 0 if positive else ref.compare(v, zero) < 0)]

    def score(a, b):
        pa, pb = a[1]["priority"], b[1]["priority"]
        if pa != pb:
            return pa - pb if positive else pb - pa
        c = ref.compare(b[2], a[2])
        if c == 0:
            return b[1]["id"] - a[1]["id"]
        return c

    cands.sort(key=functools.cmp_to_key(lambda a, b: -1 if score(a, b) < 0 else (1 if score(b, a) < 0 else 0)))
    if not cands:
        raise ModelError(NO_CANDIDATES)
    remaining = diff
    work: list = []
    while not is_zero(remaining):
        if not work:
            work = list(cands)
        k, l, _ = work.pop()
        line, value = m[k]
        m[k] = (line, ref.add(value, step))
        remaining = ref.add(remaining, step, subtract=True)


def py_result(lines, q):
    total, discount, m, _ = totals(lines, q)
    return {
        "total": ref.text(*ref.quantize(total, q)),
        "discount": ref.text(*ref.quantize(discount, q)),
        "subtotals": {l["id"]: ref.text(*v) for l, v in m.values()},
    }
