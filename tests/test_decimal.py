"""The decimal core against plainly written models of its rules."""
import pytest
from hypothesis import example, given
from hypothesis import strategies as st

import reference as ref

MAXC = 2**96 - 1

coefficients = st.one_of(
    st.integers(0, 1000),
    st.integers(0, 10**12),
    st.integers(0, MAXC),
    st.integers(MAXC - 1000, MAXC),
    st.sampled_from([0, 1, 5, 10, 2**64 - 1, 2**64, 10**28, MAXC // 10, MAXC]),
)
values = st.tuples(coefficients, st.integers(0, 28), st.booleans()).map(
    lambda t: (t[0], t[1], t[2] and t[0] != 0)
)


def txt(v):
    return ref.text(*v)


def expect(model, *args):
    try:
        return ref.text(*model(*args))
    except ref.Overflow:
        return "overflow"
    except ZeroDivisionError:
        return "zero"


def run(op, *args):
    try:
        return op(*args)
    except ArithmeticError as e:
        msg = str(e)
        if msg.endswith("overflowed"):
            return "overflow"
        if msg == "Division by zero":
            return "zero"
        raise


@given(values, values)
@example((1, 1, False), (2, 1, False))
@example((MAXC, 0, False), (5, 1, False))
@example((MAXC, 0, False), (1, 0, False))
# operands aligned past what 128 bits hold, 9 and 10 places apart (the
# second one's product is 2^128 and a little: wrapped, it would be small)
@example((MAXC, 0, False), (1, 9, False))
@example((34028236692093846346337460744, 0, False), (1, 10, False))
def test_add_and_subtract_follow_the_scale_and_rounding_rules(dec, a, b):
    assert run(dec.add, txt(a), txt(b)) == expect(ref.add, a, b)
    assert run(dec.iadd, txt(a), txt(b)) == expect(ref.add, a, b)
    assert run(dec.sub, txt(a), txt(b)) == expect(lambda x, y: ref.add(x, y, True), a, b)
    assert run(dec.isub, txt(a), txt(b)) == expect(lambda x, y: ref.add(x, y, True), a, b)


@given(values, values)
@example((MAXC, 0, False), (MAXC, 28, False))
@example((10, 2, False), (10, 2, False))
# products below 2^128: a tie rounds to even, up or not; too few places to
# drop; a rounding that carries past 96 bits (MAXC * 10 + 5 at 29 places)
@example((150, 15, False), (1, 15, False))
@example((250, 15, False), (1, 15, True))
@example((2**64 - 1, 0, False), (2**64, 0, False))
@example((11447, 1, False), (69213036179142428228831965, 28, False))
def test_multiply_rounds_half_even_into_96_bits_and_28_places(dec, a, b):
    assert run(dec.mul, txt(a), txt(b)) == expect(ref.mul, a, b)


@given(values, values)
@example((1, 0, False), (3, 0, False))
@example((100, 0, False), (3, 0, False))
@example((MAXC, 0, False), (1, 28, False))
@example((1, 28, False), (3, 0, False))
@example((5, 0, False), (2, 3, False))
def test_divide_extends_rounds_and_strips_like_long_division(dec, a, b):
    assert run(dec.div, txt(a), txt(b)) == expect(ref.div, a, b)


@given(values, values)
def test_compare_is_by_value(dec, a, b):
    assert dec.compare(txt(a), txt(b)) == ref.compare(a, b)


@given(values, st.integers(0, 40))
def test_quantize_truncates_toward_zero_and_never_pads(dec, a, q):
    assert dec.quantize(txt(a), q) == ref.text(*ref.quantize(a, q))
    assert dec.value_string(txt(a), q) == ref.text(*ref.quantize(a, q))


@given(values)
def test_printed_text_parses_back_to_the_same_value_and_scale(dec, a):
    neg, coefficient, scale, printed = dec.parse(txt(a))
    assert (coefficient, scale, neg) == a
    assert printed == txt(a)


@pytest.mark.parametrize(
    "a, b, op, expected",
    [
        ("0.1", "0.2", "add", "0.3"),
        ("1.50", "0.50", "sub", "1.00"),
        ("0.00", "5", "add", "5"),
        ("0.00", "5.1", "add", "5.1"),
        ("5", "0.00", "add", "5"),
        ("0.00", "0", "add", "0"),
        ("0", "2.5", "sub", "-2.5"),
        ("1.5", "0.25", "add", "1.75"),
        ("0.10", "5", "add", "5.10"),
        ("1.50", "1.50", "sub", "0.00"),
        ("0.00", "5", "mul", "0"),
        ("0.00", "5", "div", "0"),
        ("2.50", "2", "mul", "5.00"),
        ("3.33", "3", "mul", "9.99"),
        ("1.10", "2", "mul", "2.20"),
        ("0.10", "0.10", "mul", "0.0100"),
        ("10.00", "4", "div", "2.50"),
        ("10.0", "4", "div", "2.5"),
        ("9", "3", "div", "3"),
        ("100", "0.5", "div", "200"),
        ("10", "4", "div", "2.5"),
        ("1.00", "8", "div", "0.125"),
        ("1", "3", "div", "0.3333333333333333333333333333"),
        ("100", "3", "div", "33.333333333333333333333333333"),
        # rounding at the 96-bit boundary
        ("79228162514264337593543950335", "0.5", "add", "overflow"),
        ("79228162514264337593543950334", "0.5", "add", "79228162514264337593543950334"),
        ("79228162514264337593543950333", "0.5", "add", "79228162514264337593543950334"),
        # one place would need the coefficient 2^96 after rounding: scale 0 instead
        ("7922816251426433759354395033.5", "0.05", "add", "7922816251426433759354395034"),
        ("7922816251426433759354395033.4", "0.05", "add", "7922816251426433759354395033.4"),
        ("7922816251426433759354395033.5", "3", "mul", "23768448754279301278063185100"),
        ("79228162514264337593543950335", "1", "add", "overflow"),
        ("-79228162514264337593543950335", "1", "sub", "overflow"),
        ("79228162514264337593543950335", "2", "mul", "overflow"),
        ("79228162514264337593543950335", "0.1", "div", "overflow"),
        ("1", "0", "div", "zero"),
        ("0", "0.00", "div", "zero"),
    ],
)
def test_worked_examples(dec, a, b, op, expected):
    assert run(getattr(dec, op), a, b) == expected


@pytest.mark.parametrize(
    "value, q, expected",
    [
        ("1.239", 2, "1.23"),
        ("-1.239", 2, "-1.23"),
        ("-0.004", 2, "0.00"),
        ("1.500", 2, "1.50"),
        ("1.5", 2, "1.5"),
        ("2.999", 2, "2.99"),
        ("-2.999", 2, "-2.99"),
        ("7", 2, "7"),
        ("7", 0, "7"),
        ("2.00", 2, "2.00"),
        ("1.5", 2**32 - 1, "1.5"),
    ],
)
def test_quantize_examples(dec, value, q, expected):
    assert dec.quantize(value, q) == expected


def test_negation_of_zero_prints_a_minus_sign(dec):
    assert dec.negate("0.00") == "-0.00"
    assert dec.negate("0") == "-0"
    assert dec.compare(dec.negate("0.00"), "0") == 0
    # cutting a negative zero keeps its sign; a nonzero value cut to zero loses it
    assert dec.negate("0.000", 2) == "-0.00"
    assert dec.negate("0.004", 2) == "0.00"
    assert dec.negate("0.0", 2) == "-0.0"


@pytest.mark.parametrize("q, quantum, zero", [(0, "1", "0"), (2, "0.01", "0.00"), (28, "0.0000000000000000000000000001", "0.0000000000000000000000000000")])
def test_quantum_and_quantized_zero(dec, q, quantum, zero):
    assert dec.quantum(q) == quantum
    assert dec.quantized_zero(q) == zero


@pytest.mark.parametrize("q", [29, 30, 2**32 - 1])
def test_quantum_above_28_places_aborts_with_the_scale_message(dec, q):
    for op in (dec.quantum, dec.quantized_zero):
        with pytest.raises(ArithmeticError) as e:
            op(q)
        assert str(e.value) == f"Scale exceeds the maximum precision allowed: {q} > 28"


PARSED = [
    ("-0", "0", (0, 0)),
    ("-0.00", "0.00", (0, 2)),
    ("+7", "7", (7, 0)),
    ("1_000.5", "1000.5", (10005, 1)),
    ("5.", "5", (5, 0)),
    (".5", "0.5", (5, 1)),
    ("1.50", "1.50", (150, 2)),
    ("0." + "1" * 28, "0." + "1" * 28, (int("1" * 28), 28)),
    ("79228162514264337593543950335", "79228162514264337593543950335", (MAXC, 0)),
    ("7.9228162514264337593543950335", "7.9228162514264337593543950335", (MAXC, 28)),
    ("00000000000000000000000000000000001", "1", (1, 0)),
    ("1._5", "1.5", (15, 1)),
]


@pytest.mark.parametrize("text, printed, parts", PARSED)
def test_parse_accepts(dec, text, printed, parts):
    neg, coefficient, scale, out = dec.parse(text)
    assert out == printed
    assert (coefficient, scale) == parts
    assert neg is False or printed.startswith("-")


FAILS = [
    ("", "Invalid decimal: empty"),
    ("-", "Invalid decimal: no digits found"),
    ("+", "Invalid decimal: no digits found"),
    (".", "Invalid decimal: no digits found"),
    ("-.", "Invalid decimal: no digits found"),
    ("_1", "Invalid decimal: must start lead with a number"),
    ("-_1", "Invalid decimal: must start lead with a number"),
    ("._1", "Invalid decimal: must start lead with a number"),
    ("1.2.3", "Invalid decimal: two decimal points"),
    ("1e3", "Invalid decimal: unknown character"),
    (" 1", "Invalid decimal: unknown character"),
    ("1,5", "Invalid decimal: unknown character"),
    ("1-", "Invalid decimal: unknown character"),
    ("--1", "Invalid decimal: unknown character"),
    ("1é", "Invalid decimal: unknown character"),
    ("79228162514264337593543950336", "Invalid decimal: overflow from too many digits"),
    ("1" * 30, "Invalid decimal: overflow from too many digits"),
    ("0." + "0" * 29, "Number has a high precision that can not be represented."),
    ("0." + "1" * 28 + "_", "Number has a high precision that can not be represented."),
    ("0." + "1" * 28 + "x", "Number has a high precision that can not be represented."),
    ("79228162514264337593543950.336", "Number has a high precision that can not be represented."),
]


@pytest.mark.parametrize("text, message", FAILS)
def test_parse_rejects_with_the_exact_message(dec, text, message):
    with pytest.raises(ValueError) as e:
        dec.parse(text)
    assert str(e.value) == message


def parse_model(t: str):
    """The parsing rules, written out byte by byte."""
    if t == "":
        return "Invalid decimal: empty"
    i = 0
    if t[0] in "+-":
        i = 1
    digits = ""
    point = False
    frac = 0
    for ch in t[i:]:
        if point and frac == 28:
            return "Number has a high precision that can not be represented."
        if ch.isdigit() and ch.isascii():
            digits += ch
            if point:
                frac += 1
            if int(digits) > MAXC:
                return (
                    "Number has a high precision that can not be represented."
                    if point
                    else "Invalid decimal: overflow from too many digits"
                )
        elif ch == ".":
            if point:
                return "Invalid decimal: two decimal points"
            point = True
        elif ch == "_":
            if not digits:
                return "Invalid decimal: must start lead with a number"
        else:
            return "Invalid decimal: unknown character"
    if not digits:
        return "Invalid decimal: no digits found"
    c = int(digits)
    return ref.text(c, frac, t[0] == "-" and c != 0)


@given(st.text(alphabet="0123456789._-+e ", max_size=40))
@example("0." + "9" * 28)
def test_parse_matches_the_rules_on_arbitrary_text(dec, t):
    try:
        got = dec.parse(t)[3]
    except ValueError as e:
        got = str(e)
    assert got == parse_model(t)
