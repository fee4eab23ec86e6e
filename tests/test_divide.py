"""Dividing an amount into parts that add up exactly."""
import sys
from decimal import Decimal as D

import pytest
from hypothesis import example, given
from hypothesis import strategies as st

import corbyl
from corbyl import py_divide_amount as divide
from helpers import time_limit

NOT_EXACT = "Amount cannot be divided exactly at this quantization."


@pytest.mark.parametrize(
    "amount, n, q, parts",
    [
        ("10", 3, 2, ["3.34", "3.33", "3.33"]),
        ("-10", 3, 2, ["-3.34", "-3.33", "-3.33"]),
        ("9", 3, 2, ["3", "3", "3"]),
        ("10", 4, 2, ["2.5"] * 4),
        ("10.00", 4, 2, ["2.50"] * 4),
        ("10.01", 2, 2, ["5.01", "5.00"]),
        ("0.00", 3, 2, ["0", "0", "0"]),
        ("1.500", 1, 2, ["1.50"]),
        ("1.500", 2, 2, ["0.75", "0.75"]),
        ("1.00", 8, 2, ["0.13"] * 4 + ["0.12"] * 4),
        ("7", 2, 0, ["4", "3"]),
        ("1000.00", 7, 2, ["142.86", "142.86", "142.86", "142.86", "142.86", "142.85", "142.85"]),
        ("1", 3, 28, ["0.3333333333333333333333333334", "0.3333333333333333333333333333", "0.3333333333333333333333333333"]),
        ("7922816251426433759354395033.5", 7, 1, ["1131830893060919108479199290.5"] * 7),
        # the quotient ...033.5714... fills 96 bits at one place: the digit 5
        # dropped with a remainder behind it rounds up, and the negative
        # remainder takes a quantum from each of the first three parts
        ("55459713759985036315480765235", 7, 0, ["7922816251426433759354395033"] * 3 + ["7922816251426433759354395034"] * 4),
    ],
)
def test_parts(amount, n, q, parts):
    assert divide(amount, n, q) == parts


@pytest.mark.parametrize(
    "args, exc, message",
    [
        (("1.2.3", 0, 2), ValueError, "Invalid decimal: two decimal points"),
        (("12a", 2, 2), ValueError, "Invalid decimal: unknown character"),
        (("1.505", 0, 2), ValueError, "Amount is improperly quantized. Cannot divide."),
        (("1.505", 2, 2), ValueError, "Amount is improperly quantized. Cannot divide."),
        (("1", 0, 2), ValueError, "Cannot divide by zero."),
        (("1", 0, 29), ValueError, "Cannot divide by zero."),
        (("100", 3, 28), ValueError, NOT_EXACT),
        (("79228162.514264337593543950327", 7, 28), ValueError, NOT_EXACT),
    ],
)
def test_errors_in_their_order(args, exc, message):
    with pytest.raises(exc) as e:
        divide(*args)
    assert str(e.value) == message


@pytest.mark.parametrize("q", [29, 100])
def test_quantization_above_28_panics_with_the_scale_message(q):
    with pytest.raises(corbyl.PanicException) as e:
        divide("1", 3, q)
    assert e.value.args == (f"Scale exceeds the maximum precision allowed: {q} > 28",)


def test_65535_parts_share_two_texts():
    parts = divide("1000.00", 65535, 2)
    assert len(parts) == 65535
    assert sum(D(p) for p in parts) == D("1000.00")
    assert set(parts) == {"0.02", "0.01"}
    # two str objects, each referenced by the list once for every part it is
    k = parts.count("0.02")
    assert all(p is parts[0] for p in parts[:k]) and all(p is parts[-1] for p in parts[k:])
    probe = [object()] * 3
    overhead = sys.getrefcount(probe[0]) - 3  # what reading an item and asking adds
    assert (sys.getrefcount(parts[0]) - overhead, sys.getrefcount(parts[-1]) - overhead) == (k, 65535 - k)


def exact_or_specified(amount: str, n: int, q: int):
    try:
        parts = divide(amount, n, q)
    except ValueError as e:
        assert str(e) in (NOT_EXACT, "Amount is improperly quantized. Cannot divide.", "Cannot divide by zero.")
        return None
    assert len(parts) == n
    values = [D(p) for p in parts]
    assert sum(values) == D(amount)
    step = D(1).scaleb(-q)
    assert max(values) - min(values) <= step
    for p in parts:
        assert "." not in p or len(p.split(".")[1]) <= q
    # the leftover quanta, one each, go to the first parts
    assert values == sorted(values, reverse=True) or values == sorted(values)
    return parts


def quantized_amounts():
    def build(c, q, neg):
        text = str(c).rjust(q + 1, "0")
        if q:
            text = text[:-q] + "." + text[-q:]
        return ("-" if neg else "") + text, q

    return st.builds(
        build,
        st.one_of(st.integers(0, 10**9), st.integers(0, 2**96 - 1)),
        st.integers(0, 28),
        st.booleans(),
    )


@given(quantized_amounts(), st.integers(1, 65535))
@example(("100", 28), 3)
@example(("79228162.514264337593543950327", 28), 7)
@example(("79228162514264337593543950335", 0), 65535)
def test_parts_add_up_exactly_or_a_specified_error(amount_q, n):
    amount, q = amount_q
    with time_limit(5):
        exact_or_specified(amount, n, q)


def test_ordinary_amounts_always_divide():
    for amount in ["0.01", "1.00", "999999999.99", "-12345.67", "100"]:
        for n in [1, 2, 3, 7, 97, 1000]:
            assert exact_or_specified(amount, n, 2) is not None
