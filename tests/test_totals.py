"""Totals, redistribution and reckoning: worked examples, properties, and a
differential test against the plain model in tests/model.py."""
from decimal import Decimal as D

import pytest
from hypothesis import assume, example, given, settings
from hypothesis import strategies as st

import corbyl
import model
import reference as ref
from corbyl import py_get_totals as totals
from corbyl import py_reckon_lines as reckon
from helpers import line, time_limit

NO_CANDIDATES = model.NO_CANDIDATES
TOO_LARGE = model.TOO_LARGE


@pytest.mark.parametrize(
    "lines, q, expected",
    [
        pytest.param(
            [line(1, 0, "10.00"), line(2, 1, "0", "10"), line(3, 1, "-1.00")], 2,
            {"total": "10.00", "discount": "-1.00", "subtotals": {1: "10.00", 2: "1.00", 3: "-1.00"}},
            id="computed-no-difference",
        ),
        pytest.param(
            [line(1, 0, "10.00"), line(2, 1, "0", "3.35"), line(3, 1, "0", "3.35")], 2,
            {"total": "10.67", "discount": "0.00", "subtotals": {1: "10.00", 2: "0.34", 3: "0.33"}},
            id="computed-with-difference",
        ),
        pytest.param(
            [line(1, 0, "10.00"), line(2, 1, "0", "10", back=True)], 2,
            {"total": "11.11", "discount": "0.00", "subtotals": {1: "10.00", 2: "1.11"}},
            id="grossed-up",
        ),
        pytest.param(
            # the same fee (the very same texts) in two groups: each line's
            # percentage of the total before its own group
            [line(1, 0, "10.00"), line(2, 1, "0", "3.35"), line(3, 2, "0", "3.35")], 2,
            {"total": "10.67", "discount": "0.00", "subtotals": {1: "10.00", 2: "0.33", 3: "0.34"}},
            id="one-fee-in-two-groups",
        ),
        pytest.param(
            [line(1, 0, "0", frozen="5.005"), line(2, 0, "0", frozen="-1.5")], 2,
            {"total": "3.50", "discount": "-1.5", "subtotals": {1: "5.005", 2: "-1.5"}},
            id="frozen",
        ),
        pytest.param(
            [line(1, 0, "10.00"), line(2, 1, "0", "-3.35"), line(3, 1, "0", "-3.35")], 2,
            {"total": "9.33", "discount": "-0.67", "subtotals": {1: "10.00", 2: "-0.34", 3: "-0.33"}},
            id="negative-difference",
        ),
        pytest.param(
            [line(1, 0, "1.00"), line(2, 1, "0.009"), line(3, 1, "0.009"), line(4, 1, "0.009")], 2,
            {"total": "1.02", "discount": "0.00", "subtotals": {1: "1.02", 2: "0.00", 3: "0.00", 4: "0.00"}},
            id="several-passes",
        ),
        pytest.param([], 2, {"total": "0.00", "discount": "0.00", "subtotals": {}}, id="empty"),
        pytest.param(
            [line(1, 0, "-0.005"), line(2, 1, "-0.005")], 2,
            {"total": "0.00", "discount": "-0.01", "subtotals": {1: "0.00", 2: "0.00"}},
            id="discount-cut-once",
        ),
        pytest.param(
            [line(1, 0, "0", frozen="1"), line(2, 0, "0", frozen="2")], 2,
            {"total": "3", "discount": "0", "subtotals": {1: "1", 2: "2"}},
            id="frozen-plain-zero",
        ),
        pytest.param([line(1, 0, "5")], 2, {"total": "5", "discount": "0.00", "subtotals": {1: "5"}}, id="scale-0-kept"),
        pytest.param(
            [line(1, 0, "5", frozen="not a number"), line(2, 0, "2")], 2,
            {"total": "7", "discount": "0.00", "subtotals": {1: "5", 2: "2"}},
            id="mixed-frozen-is-computed",
        ),
        pytest.param(
            [line(1, 0, "7", "50")], 2, {"total": "7", "discount": "0.00", "subtotals": {1: "7"}},
            id="lowest-group-sees-zero-total",
        ),
    ],
)
def test_worked_examples(lines, q, expected):
    result = totals(lines, q)
    assert result == expected
    assert list(result) == ["total", "discount", "subtotals"]


def with_difference(entries, moves, q):
    """The lines of `entries` (id, priority, value) at priority 0 and up, and
    a last group whose lines are each cut to zero but whose sum leaves
    `moves` quanta (negative: minus) in the total, for the entries to take."""
    lines = [line(i, p, v, description=f"entry {k}") for k, (i, p, v) in enumerate(entries)]
    sign = "-" if moves < 0 else ""
    for k in range(abs(moves)):
        lines += [line(1000 + k, 100, f"{sign}{D(9).scaleb(-q - 1):f}"), line(2000 + k, 100, f"{sign}{D(1).scaleb(-q - 1):f}")]
    return lines


@pytest.mark.parametrize("q", [2, 20])  # at 20 places the values are too wide for integer keys
@pytest.mark.parametrize(
    "entries, moves, received",
    [
        # five quanta over three candidates served 1, 2, 3: two, two, one
        ([(1, 0, "1.00"), (2, 0, "1.00"), (3, 0, "1.00")], 5, {1: 2, 2: 2, 3: 1}),
        # two quanta, a single candidate: both to it
        ([(1, 0, "1.00"), (2, 0, "0.00"), (3, 0, "0.00")], 2, {1: 2}),
        ([(1, 0, "5.00"), (2, 2, "9.00"), (3, 1, "1.00")], 2, {2: 1, 3: 1}),
        ([(1, 0, "-5.00"), (2, 2, "-9.00"), (3, 1, "-1.00")], -2, {1: 1, 3: 1}),
        ([(1, 0, "5.00"), (2, 0, "1.5"), (3, 0, "3.00")], 2, {2: 1, 3: 1}),
        ([(1, 0, "-5.00"), (2, 0, "-1.5"), (3, 0, "-3.00")], -1, {1: 1}),
        # equal values of other scales go by ascending id, negative ids first
        ([(7, 0, "2.5"), (3, 0, "2.50"), (5, 0, "2.50")], 2, {3: 1, 5: 1}),
        ([(1, 0, "1.00"), (-1, 0, "1.00")], 1, {-1: 1}),
        ([(1, 0, "-1.00"), (-1, 0, "-1.00"), (-2, 0, "-1.00")], -2, {-2: 1, -1: 1}),
        # equal ids and values: the later entry first (it is the one reported)
        ([(4, 0, "1.00"), (4, 0, "1.00")], 1, {4: 1}),
        ([(1, 0, "0.00"), (2, 0, "-1.00"), (3, 5, "4.00")], 3, {3: 3}),
    ],
)
def test_redistribution_receiving_order(entries, moves, received, q):
    result = totals(with_difference(entries, moves, q), q)
    step = D(1).scaleb(-q) * (1 if moves > 0 else -1)
    values = {i: v for i, _, v in entries}  # the later of two equal ids is reported
    expected = {i: f"{D(v) + received[i] * step:f}" if i in received else v for i, v in values.items()}
    assert {i: v for i, v in result["subtotals"].items() if i < 1000} == expected


def test_positive_difference_goes_first_to_the_highest_priority_number():
    lines = [line(1, 0, "1.00"), line(2, 5, "1.00"), line(3, 9, "0.005"), line(4, 9, "0.005")]
    assert totals(lines, 2)["subtotals"] == {1: "1.00", 2: "1.01", 3: "0.00", 4: "0.00"}


def test_negative_difference_goes_first_to_the_lowest_priority_number():
    lines = [line(1, 0, "-1.00"), line(2, 5, "-1.00"), line(3, 9, "-0.005"), line(4, 9, "-0.005")]
    assert totals(lines, 2)["subtotals"] == {1: "-1.01", 2: "-1.00", 3: "0.00", 4: "0.00"}


def test_a_zero_subtotal_never_receives_a_quantum():
    with pytest.raises(ValueError) as e:
        # 0.009 + 0.009 leaves 0.01 in the total, but both lines are cut to
        # 0.00 and the only other line, the highest priority, is zero too
        totals([line(1, 0, "0.009"), line(2, 0, "0.009"), line(3, 5, "0")], 2)
    assert str(e.value) == NO_CANDIDATES


def test_equal_lines_share_one_entry():
    one = line(1, 0, "2.00")
    assert totals([one, dict(one)], 2) == {"total": "2.00", "discount": "0.00", "subtotals": {1: "2.00"}}
    frozen = line(1, 0, "0", frozen="2.00")
    assert totals([frozen, dict(frozen)], 2) == {"total": "4.00", "discount": "0", "subtotals": {1: "2.00"}}


@pytest.mark.parametrize("filler", [0, 40], ids=["short", "long"])
@pytest.mark.parametrize("later", [0, 1], ids=["same group", "later group"])
def test_lines_that_differ_but_share_an_id_give_one_entry(filler, later):
    # the id keeps the place of its first line and the later line's subtotal
    bill = [line(7, 0, "1.00"), line(3, 0, "2.00"), line(7, later, "4.00")] + [
        line(100 + k, 0, "0.01") for k in range(filler)]
    result = totals(bill, 2)
    assert result["total"] == f"{7 + filler / 100:.2f}"
    assert list(result["subtotals"])[:2] == [7, 3] and len(result["subtotals"]) == 2 + filler
    assert result["subtotals"][7] == "4.00"


@pytest.mark.parametrize(
    "lines, q, exc, message",
    [
        ([line(1, 0, "")], 2, ValueError, "Invalid decimal: empty"),
        ([line(1, 0, "1", "x")], 2, ValueError, "Invalid decimal: unknown character"),
        ([line(1, 0, "0", frozen="1..0"), line(2, 0, "0", frozen="1")], 2, ValueError, "Invalid decimal: two decimal points"),
        # groups go in ascending priority: the bad amount at priority 1 is found before priority 5
        ([line(1, 5, "a"), line(2, 1, "_")], 2, ValueError, "Invalid decimal: must start lead with a number"),
        # the group sum comes after every line of the group: line 3's text
        # fails before the sum of lines 1 and 2 overflows
        ([line(1, 0, "1"), line(2, 0, "79228162514264337593543950335"), line(3, 0, "1", "..")], 2, ValueError,
         "Invalid decimal: two decimal points"),
        ([line(1, 0, "1"), line(2, 0, "79228162514264337593543950335"), line(3, 1, "1", "..")], 2,
         corbyl.PanicException, "Addition overflowed"),
        ([line(1, 0, "1", "100", back=True)], 2, corbyl.PanicException, "Division by zero"),
        # a grossed-up line forms T + a even at 0%, though its group sums to nothing
        ([line(1, 0, "79228162514264337593543950335"), line(2, 1, "-1"), line(3, 1, "1", "0", back=True)], 0,
         corbyl.PanicException, "Addition overflowed"),
        ([line(1, 0, "x")], 29, corbyl.PanicException, "Scale exceeds the maximum precision allowed: 29 > 28"),
        # the subtotals are summed in 96 bits, from the first: the largest
        # amount plus one overflows that sum (or, with places to drop,
        # rounds it), though the group of 1 and -1 adds nothing to the total
        ([line(1, 0, "79228162514264337593543950335"), line(2, 1, "1"), line(3, 1, "-1")], 0,
         corbyl.PanicException, "Addition overflowed"),
        ([line(1, 0, "792281625142643375935439503.35"), line(2, 1, "0.01"), line(3, 1, "-0.01")], 2,
         ValueError, "Amounts are too large to total exactly at this quantization."),
    ],
)
def test_failures(lines, q, exc, message):
    for f in (totals, reckon):
        with pytest.raises(exc) as e:
            f(lines, q)
        assert e.value.args == (message,)


def test_frozen_mode_ignores_a_quantization_above_28():
    assert totals([line(1, 0, "x", frozen="1.005")], 30) == {"total": "1.005", "discount": "0", "subtotals": {1: "1.005"}}


def test_reckon_prints_every_place_of_a_frozen_total():
    lines = [line(1, 0, "0", frozen="1.005"), line(2, 0, "0", frozen="2.001")]
    assert reckon(lines, 2) == "3.006"
    assert totals(lines, 2)["total"] == "3.00"
    assert reckon([], 2) == "0.00"


def test_the_hang_of_large_amounts_is_an_error():
    lines = [
        line(1, 0, "67375075838706363879332433.03"),
        line(2, 1, "16856827202036272743746331346"),
        line(3, 1, "2987943783167213609279637553.5"),
    ]
    with time_limit(5):
        for f in (totals, reckon):
            with pytest.raises(ValueError) as e:
                f(lines, 24)
            assert str(e.value) == TOO_LARGE


# ---- properties over random line lists ----------------------------------

def amounts(max_places=4):
    return st.builds(
        lambda c, s, neg: ref.text(c, s, neg and c != 0),
        st.integers(0, 10**7),
        st.integers(0, max_places),
        st.booleans(),
    )


percentages = st.one_of(
    st.just("0"),
    st.builds(lambda c, s: ref.text(c, s, False), st.integers(0, 9999), st.integers(0, 2)),
    st.builds(lambda c, s: ref.text(c, s, True), st.integers(1, 999), st.integers(0, 2)),
)


@st.composite
def line_lists(draw, frozen=st.none(), max_size=12, min_size=0, repeats=False):
    n = draw(st.integers(min_size, max_size))
    out = []
    for i in range(n):
        if repeats and out and draw(st.integers(0, 7)) == 0:
            out.append(dict(draw(st.sampled_from(out))))  # an equal line shares its entry
            continue
        back = draw(st.booleans()) and draw(st.booleans())
        pct = draw(percentages)
        priority = draw(st.sampled_from([0, 0, 1, 2, 325, 350, -3]))
        amount = draw(amounts())
        if out and draw(st.integers(0, 3)) == 0:
            # some texts of a line before it in its group, the very same strs
            # (as a host passes its constants), and only some of them
            before = draw(st.sampled_from(out))
            priority = before["priority"]
            amount = before["amount"] if draw(st.booleans()) else amount
            pct = before["percentage"] if draw(st.booleans()) else pct
            back = before["back_into_percentage"] if draw(st.booleans()) else back
        if back and D(pct) >= 100:
            pct = "50"
        out.append(line(i + 1, priority, amount, pct, back=back, frozen=draw(frozen)))
    return out


def model_or_error(lines, q):
    try:
        return model.py_result(lines, q)
    except model.ModelError as e:
        return ("ValueError", str(e))


def module_or_error(lines, q):
    try:
        return totals(lines, q)
    except ValueError as e:
        return ("ValueError", str(e))


@given(line_lists(), st.integers(0, 6))
@example([line(1, 0, "10.00"), line(2, 1, "0", "3.35"), line(3, 1, "0", "3.35")], 2)
def test_module_agrees_with_the_model(lines, q):
    assert module_or_error(lines, q) == model_or_error(lines, q)


@settings(max_examples=60)
@given(st.booleans().flatmap(lambda repeats: line_lists(max_size=90, min_size=20, repeats=repeats))
       .flatmap(st.permutations), st.integers(0, 6))
def test_module_agrees_with_the_model_on_long_lists(lines, q):
    # long enough for the subtotals map to use its table (by line when no id
    # repeats, in order or not; hashed when some does) and for a long
    # redistribution to select only some of its candidates
    assert module_or_error(lines, q) == model_or_error(lines, q)


@given(line_lists(frozen=st.one_of(st.none(), amounts(5))), st.integers(0, 6))
def test_module_agrees_with_the_model_on_mixed_frozen_lists(lines, q):
    assert module_or_error(lines, q) == model_or_error(lines, q)


@given(line_lists(), st.integers(0, 6))
def test_subtotals_add_up_and_move_only_in_whole_quanta(lines, q):
    try:
        result = totals(lines, q)
    except ValueError as e:
        assert str(e) == NO_CANDIDATES
        return
    assert sum(D(v) for v in result["subtotals"].values()) == D(result["total"])
    _, _, m, before = model.totals(lines, q)
    quantum = D(1).scaleb(-q)
    diff = D(result["total"]) - sum(ref.value(v) for v in before.values())
    for k, (l, _) in m.items():
        moved = D(result["subtotals"][l["id"]]) - ref.value(before[k])
        assert moved % quantum == 0
        if moved:
            # only lines whose subtotal had the sign of the difference receive quanta
            assert (ref.value(before[k]) > 0) == (diff > 0) and ref.value(before[k]) != 0


@given(line_lists(frozen=st.one_of(st.none(), amounts(2))), st.integers(2, 6))
def test_reckon_equals_the_total_when_no_frozen_value_has_more_places(lines, q):
    try:
        expected = totals(lines, q)["total"]
    except ValueError as e:
        with pytest.raises(ValueError, match=str(e)[:20]):
            reckon(lines, q)
        return
    assert reckon(lines, q) == expected


big_amounts = st.builds(
    lambda c, s, neg: ref.text(c, s, neg and c != 0),
    st.integers(0, 2**96 - 1),
    st.integers(0, 28),
    st.booleans(),
)


@given(
    st.lists(st.tuples(st.integers(-2, 2), big_amounts, st.sampled_from(["0", "1", "33.3", "-7"])), max_size=6),
    st.integers(0, 28),
)
def test_large_amounts_add_up_or_fail_with_a_specified_error(rows, q):
    lines = [line(i + 1, p, a, pct) for i, (p, a, pct) in enumerate(rows)]
    with time_limit(5):
        try:
            result = totals(lines, q)
        except ValueError as e:
            assert str(e) in (NO_CANDIDATES, TOO_LARGE) or str(e).startswith(("Invalid decimal", "Number has"))
            return
        except corbyl.PanicException as e:
            assert str(e).endswith("overflowed")
            return
    assert sum(D(v) for v in result["subtotals"].values()) == D(result["total"])
    assert result == model.py_result(lines, q)


@pytest.mark.parametrize("n", [23, 24, 25, 26, 49, 64, 65, 100, 300])
@pytest.mark.parametrize("repeats", ["every third line", "the line of id 0 alone"])
def test_equal_lines_share_entries_in_large_lists_too(n, repeats):
    # lines that repeat an earlier one, around the sizes where the map and
    # the ordering change their representation; an id of 0 that repeats is
    # a repeated id like any other
    lines = []
    for i in range(n):
        if repeats == "every third line" and i % 3 == 2:
            lines.append(dict(lines[i // 2]))
        else:
            lines.append(line(i, i % 5, f"{i}.{i % 7}", "1.5" if i % 4 == 0 else "0"))
    if repeats == "the line of id 0 alone":
        lines.append(dict(lines[0]))
    assert totals(lines, 2) == model.py_result(lines, 2)
