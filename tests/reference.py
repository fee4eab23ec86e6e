"""Plainly written models of the module's arithmetic, built on Python's
``decimal`` module and integers, used by the tests to check the native code.

A value is modelled as (coefficient, scale, negative), the same triple the
native number holds, so that scales can be compared, not only values.
"""
from __future__ import annotations

from decimal import Decimal as D
from decimal import localcontext

MAXC = 2**96 - 1


class Overflow(Exception):
    pass


def text(c: int, s: int, neg: bool) -> str:
    digits = str(c).rjust(s + 1, "0")
    body = digits if s == 0 else digits[:-s] + "." + digits[-s:]
    return ("-" if neg else "") + body


def value(t: tuple[int, int, bool]) -> D:
    c, s, neg = t
    with localcontext() as ctx:
        ctx.prec = 200
        return D((1 if neg else 0, tuple(int(x) for x in str(c)), -s))


def from_text(t: str) -> tuple[int, int, bool]:
    neg = t.startswith("-")
    t = t.lstrip("+-").replace("_", "")
    if "." in t:
        i, f = t.split(".")
    else:
        i, f = t, ""
    c = int((i + f) or "0")
    return (c, len(f), neg and c != 0)


def fit(num: int, den_pow: int, neg: bool, max_scale: int = 28) -> tuple[int, int, bool]:
    """The exact value num / 10**den_pow, rounded half to even at the greatest
    scale (at most max_scale and den_pow) at which it fits in 96 bits."""
    for s in range(min(den_pow, max_scale), -1, -1):
        q, r = divmod(num, 10 ** (den_pow - s))
        half = 10 ** (den_pow - s)
        if 2 * r > half or (2 * r == half and q % 2 == 1):
            q += 1
        if q <= MAXC:
            return (q, s, neg and q != 0)
    raise Overflow


def add(a, b, subtract=False):
    ca, sa, na = a
    cb, sb, nb = b
    if subtract:
        nb = not nb
    if ca == 0:
        if subtract and cb != 0:
            return (cb, sb, nb)
        return b
    if cb == 0:
        return a
    s = max(sa, sb)
    x = (-1 if na else 1) * ca * 10 ** (s - sa) + (-1 if nb else 1) * cb * 10 ** (s - sb)
    return fit(abs(x), s, x < 0)


def mul(a, b):
    ca, sa, na = a
    cb, sb, nb = b
    if ca == 0 or cb == 0:
        return (0, 0, False)
    return fit(ca * cb, sa + sb, na != nb)


def div(a, b):
    """Long division as the rules describe it, one digit at a time."""
    ca, sa, na = a
    cb, sb, nb = b
    if cb == 0:
        raise ZeroDivisionError
    if ca == 0:
        return (0, 0, False)
    neg = na != nb
    scale = sa - sb
    q, r = divmod(ca, cb)
    if r == 0:
        while scale < 0:
            q *= 10
            scale += 1
        if q > MAXC:
            raise Overflow
        return (q, scale, neg)
    while r != 0 and scale < 28:
        d, r2 = divmod(r * 10, cb)
        if q * 10 + d > MAXC:
            break
        q, r, scale = q * 10 + d, r2, scale + 1
    if r != 0:
        if 2 * r > cb or (2 * r == cb and q % 2 == 1):
            q += 1
            if q > MAXC:
                # the exact value lies above the old q: drop a digit, round up on 5+
                if scale <= 0:
                    raise Overflow
                q, last = divmod(q - 1, 10)
                q += 1 if last >= 5 else 0
                scale -= 1
    while scale < 0:
        q *= 10
        scale += 1
    if q > MAXC:
        raise Overflow
    while scale > 0 and q % 10 == 0:
        q //= 10
        scale -= 1
    return (q, scale, neg and q != 0)


def quantize(a, q):
    c, s, neg = a
    if s <= q:
        return a
    if c == 0:
        return (0, q, neg)
    c //= 10 ** (s - q)
    return (c, q, neg and c != 0)


def compare(a, b):
    x, y = value(a), value(b)
    return (x > y) - (x < y)
