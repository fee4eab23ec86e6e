"""Hostile and unusual input: each gets the specified error or a correct
result, never a crash, a hang or a wrong total."""
import collections.abc

import pytest

import corbyl
from helpers import KEYS, line, plan, pricing, sale, time_limit, tip


class Boom(Exception):
    pass


class RaisingMapping(collections.abc.Mapping):
    def __init__(self, base, bad_key, exc=Boom):
        self.base, self.bad_key, self.exc = base, bad_key, exc

    def __getitem__(self, k):
        if k == self.bad_key:
            raise self.exc("lookup failed")
        return self.base[k]

    def __iter__(self):
        return iter(self.base)

    def __len__(self):
        return len(self.base)


@pytest.mark.parametrize("key", KEYS)
def test_a_raising_lookup_propagates_unchanged(key):
    with pytest.raises(Boom):
        corbyl.py_get_totals([RaisingMapping(line(1, 0, "1"), key)], 2)


def test_a_lookup_raising_type_error_is_reported_for_the_argument():
    with pytest.raises(TypeError) as e:
        corbyl.py_get_totals([RaisingMapping(line(1, 0, "1"), "amount", TypeError)], 2)
    assert e.value.args == ("argument 'lines': lookup failed",)


class Lying(collections.abc.Sequence):
    def __init__(self, items, length):
        self.items, self.length = items, length

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return self.length

    def __getitem__(self, i):
        return self.items[i]

    def __iter__(self):
        return iter(self.items)


@pytest.mark.parametrize("length", [0, 1, 10**12, 2**62, 2**64, TypeError("no length")])
def test_a_lying_length_or_none_is_only_a_hint(length):
    items = [line(1, 0, "1.50"), line(2, 0, "2.50")]
    assert corbyl.py_get_totals(Lying(items, length), 2)["total"] == "4.00"


@pytest.mark.parametrize("error", [KeyboardInterrupt, MemoryError, Boom])
def test_any_other_error_of_the_length_reaches_the_caller(error):
    with pytest.raises(error):
        corbyl.py_get_totals(Lying([line(1, 0, "1")], error("from __len__")), 2)


class FailingIteration(collections.abc.Sequence):
    def __len__(self):
        return 3

    def __getitem__(self, i):
        return line(1, 0, "1")

    def __iter__(self):
        yield line(1, 0, "1")
        raise Boom("mid-way")


def test_an_iterator_failing_mid_way_ends_the_call_with_its_error():
    with pytest.raises(Boom, match="mid-way"):
        corbyl.py_get_totals(FailingIteration(), 2)
    with pytest.raises(TypeError, match="DeliverableLinesContext.extra_lines"):
        corbyl.py_deliverable_lines(sale(extra_lines=FailingIteration()))


def test_a_list_emptied_while_it_is_read():
    victims = []

    class Clearing(dict):
        def __getitem__(self, k):
            victims.clear()
            return super().__getitem__(k)

    victims.extend([Clearing(line(1, 0, "1")), line(2, 0, "2"), line(3, 0, "3")])
    assert corbyl.py_get_totals(victims, 2)["total"] == "1"


def test_a_line_changed_while_it_is_read_is_read_as_it_changes():
    # converting the id runs Python code that changes the very dict being
    # read: the fields after it are read as they are then, not as they were
    class Id:
        def __init__(self, d, change):
            self.d, self.change = d, change

        def __index__(self):
            self.change(self.d)
            return 1

    changed = line(1, 0, "1")
    changed["id"] = Id(changed, lambda d: d.update(amount="5.00"))
    assert corbyl.py_get_totals([changed], 2)["total"] == "5.00"
    emptied = line(1, 0, "1")
    emptied["id"] = Id(emptied, lambda d: d.pop("amount"))
    with pytest.raises(KeyError, match="amount"):
        corbyl.py_get_totals([emptied], 2)
    # keys equal to the field names but other objects read all the same
    equal_keys = {"".join(k): v for k, v in line(1, 0, "2.50").items()}
    assert corbyl.py_get_totals([equal_keys], 2)["total"] == "2.50"


def test_a_text_let_go_while_the_bill_is_read_stays_as_it_was_read():
    # the first line's texts are read, then the second line's id drops the
    # caller's only references to them and fills the freed memory with
    # other characters: the bill is still the one that was read
    amount, description = "".join(["12", ".34"]), "".join(["first", " line"])
    first = line(1, 0, amount)
    first["description"] = description
    del amount, description
    litter = []

    class Id:
        def __index__(self):
            first.update(amount="0", description="")
            litter.extend("".join(["9", str(i % 10) * 4]) for i in range(5000))
            return 2

    second = line(1, 0, "1.00")
    second["id"] = Id()
    assert corbyl.py_get_totals([first, second], 2)["total"] == "13.34"
    first.update(amount="".join(["12", ".34"]), description="".join(["first", " line"]))
    echoed = corbyl.py_deliverable_lines(sale(extra_lines=[first, second]))[-2:]
    assert [(e["amount"], e["description"]) for e in echoed] == [("12.34", "first line"), ("1.00", "")]


def test_a_pricing_let_go_while_a_call_reads_on_stays_as_it_was_read():
    # the same pricing, read call after call; in the middle of the next call
    # (the quantization's __index__) its texts are replaced, calls on other
    # pricing run, and the freed memory is filled with other characters: the
    # call still gives the lines of what it read
    texts = {k: "".join([v, ""]) if isinstance(v, str) else v for k, v in pricing(processing_static="0.31").items()}
    context = tip(pricing=texts)
    expected = corbyl.py_tip_fee_lines(tip(pricing=pricing(processing_static="0.31")))
    for _ in range(3):
        corbyl.py_tip_fee_lines(context)
    litter = []

    class Quantization:
        def __index__(self):
            texts.update({k: "".join(["7.", k]) for k, v in texts.items() if isinstance(v, str)})
            other = tip()
            for _ in range(3):
                corbyl.py_tip_fee_lines(other)
            litter.extend("".join(["9", str(i % 10) * 3]) for i in range(5000))
            return 2

    assert corbyl.py_tip_fee_lines(dict(context, quantization=Quantization())) == expected


# Every int field of every record, where an __index__ runs Python code in
# the middle of a read: (call, the context's maker, where the field is).
DROPPING = [
    ("tip", ("quantization",)),
    ("tip", ("pricing", "plans", 0, "id")),
    ("tip", ("pricing", "plans", 1, "max_simultaneous_orders")),
    ("sale", ("user_id",)),
    ("sale", ("quantization",)),
    ("sale", ("pricing", "plans", 0, "id")),
    ("sale", ("pricing", "plans", 1, "max_simultaneous_orders")),
    ("sale", ("extra_lines", 0, "id")),
    ("sale", ("extra_lines", 1, "priority")),
    ("sale", ("extra_lines", 1, "destination_user_id")),
    ("totals", (0, "id")),
    ("totals", (1, "priority")),
    ("totals", (1, "destination_user_id")),
]


def dropping_call(module, kind, where):
    """A call whose int field at `where` drops, as it is read, every
    container the call is reading from its parent, and litters the memory
    that freed: the context's pricing and extra lines, the plans, the bill."""
    context = {"tip": tip, "sale": sale}.get(kind, lambda: [line(1, 0, "10.00"), line(2, 1, "0", "2.5")])()
    if kind == "sale":
        context["extra_lines"] = [line(5, 10, "1.00"), line(6, 10, "2.00")]
    if kind != "totals":
        context["pricing"]["plans"] = [plan(), plan("gold")]
    litter = []

    class Dropping:
        def __index__(self):
            if isinstance(context, dict):
                if isinstance(context.get("pricing"), dict):
                    context["pricing"]["plans"] = []
                context["pricing"] = None
                context["extra_lines"] = None
            else:
                context.clear()
            litter.extend("".join(["9", str(i % 10) * 4]) for i in range(2000))
            return 3

    parent = context
    for step in where[:-1]:
        parent = parent[step]
    parent[where[-1]] = Dropping()
    f = {"tip": module.py_tip_fee_lines, "sale": module.py_deliverable_lines}.get(kind)
    return (lambda: f(context)) if f else (lambda: module.py_get_totals(context, 2))


@pytest.mark.parametrize("kind, where", DROPPING, ids=["-".join(map(str, w)) for _, w in DROPPING])
def test_containers_dropped_while_they_are_read_stay_until_the_call_ends(dec, kind, where):
    # the call reads on from what it holds (no crash), and gives what the
    # general paths give
    def outcome(call):
        try:
            return call()
        except (ValueError, TypeError) as e:
            return type(e), e.args

    old = dec.set_fast_paths(0)
    try:
        expected = outcome(dropping_call(dec, kind, where))
    finally:
        dec.set_fast_paths(old)
    assert outcome(dropping_call(corbyl, kind, where)) == expected


class WrongValues(dict):
    """Returns a value of the wrong type for one key."""

    def __init__(self, base, key, value):
        super().__init__(base)
        self.key, self.value = key, value

    def __getitem__(self, k):
        return self.value if k == self.key else super().__getitem__(k)


WRONG = [object(), 1.5, b"x", [], {}, None, 2**200, -(2**200), float("nan"), corbyl.LineType.Tip, "text"]


# (members of the enumeration classes are unhashable, so these are lists)
VALID = [("frozen_value", None), ("destination_user_id", None), ("kind", corbyl.LineType.Tip), ("description", "text")]
PARSED_LATER = [("amount", "text"), ("percentage", "text"), ("frozen_value", "text")]


@pytest.mark.parametrize("key", KEYS)
@pytest.mark.parametrize("value", WRONG, ids=repr)
def test_wrong_values_in_every_line_item_field(key, value):
    bad = WrongValues(line(1, 0, "1"), key, value)
    if (key, value) in VALID:
        assert corbyl.py_get_totals([bad], 2)["total"] == "1"
    elif (key, value) in PARSED_LATER:
        # a text that is not a number is accepted by reading and fails when parsed
        with pytest.raises(ValueError) as e:
            corbyl.py_get_totals([bad], 2)
        assert e.value.args == ("Invalid decimal: unknown character",)
    else:
        with pytest.raises(TypeError) as e:
            corbyl.py_get_totals([bad], 2)
        assert str(e.value) == f"argument 'lines': failed to extract field LineItem.{key}"


PRICING_KEYS = list(pricing())
PLAN_KEYS = list(plan())


@pytest.mark.parametrize("key", PRICING_KEYS)
@pytest.mark.parametrize("value", [object(), 7, None, b"1"], ids=repr)
def test_wrong_values_in_every_pricing_field(key, value):
    bad = pricing()
    bad[key] = value
    for call, ctx, field in (
        (corbyl.py_deliverable_lines, sale(pricing=bad), "DeliverableLinesContext.pricing"),
        (corbyl.py_tip_fee_lines, tip(pricing=bad), "TipLinesContext.pricing"),
    ):
        with pytest.raises(TypeError) as e:
            call(ctx)
        assert str(e.value) == f"argument 'provided_lines_context': failed to extract field {field}"
        assert str(e.value.__cause__).startswith(f"failed to extract field Pricing.{key}")


@pytest.mark.parametrize("key", PLAN_KEYS)
@pytest.mark.parametrize("value", [object(), 2**40, None, b"1", 1.0], ids=repr)
def test_wrong_values_in_every_plan_field(key, value):
    with pytest.raises(TypeError) as e:
        corbyl.py_deliverable_lines(sale(pricing=pricing(plans=[plan(**{key: value})])))
    assert str(e.value.__cause__) == "failed to extract field Pricing.plans"
    assert str(e.value.__cause__.__cause__) == f"failed to extract field ServicePlan.{key}"


@pytest.mark.parametrize("context", [None, 1, "ctx", [], object()])
def test_a_context_that_is_not_a_mapping(context):
    for f in (corbyl.py_deliverable_lines, corbyl.py_tip_fee_lines):
        with pytest.raises(TypeError):
            f(context)


def test_str_subclasses_everywhere():
    class S(str):
        def __getitem__(self, i):  # a str subclass that misbehaves as a sequence
            raise Boom

    l = line(1, 0, S("2.50"), S("0"))
    totals = corbyl.py_get_totals([l], 2)
    assert totals["total"] == "2.50"
    assert corbyl.py_divide_amount(S("1.00"), 4, 2) == ["0.25"] * 4
    # texts taken over into results come back as plain str
    echoed = corbyl.py_deliverable_lines(sale(extra_lines=[line(5, 0, "1.00", description=S("jar"))]))[-1]
    fee = corbyl.py_tip_fee_lines(tip(pricing=pricing(stripe_blended_rate_static=S("0.30"))))[1]
    assert [(type(t), t) for t in (echoed["description"], fee["amount"], totals["subtotals"][1])] == [
        (str, "jar"), (str, "0.30"), (str, "2.50")]
    with pytest.raises(TypeError):
        corbyl.py_get_totals(S("abc"), 2)


def test_surrogates_in_text_are_a_field_error():
    with pytest.raises(TypeError, match="LineItem.description"):
        corbyl.py_get_totals([line(1, 0, "1", description="\ud800")], 2)


def test_a_ten_megabyte_amount_text():
    with time_limit(10):
        with pytest.raises(ValueError, match="overflow from too many digits"):
            corbyl.py_divide_amount("1" * 10_000_000, 2, 2)
        with pytest.raises(ValueError, match="high precision"):
            corbyl.py_divide_amount("0." + "0" * 10_000_000, 2, 2)
        assert corbyl.py_divide_amount("0" * 10_000_000 + "1.00", 2, 2) == ["0.50", "0.50"]
        with pytest.raises(ValueError, match="unknown character"):
            # ten million separators are read before the stray letter
            corbyl.py_get_totals([line(1, 0, "1", "1" + "_" * 10_000_000 + "x")], 2)


def test_a_million_line_items():
    lines = [line(i, i % 3, "0.01", "1" if i % 3 else "0") for i in range(1_000_000)]
    with time_limit(60):
        result = corbyl.py_get_totals(lines, 2)
    assert len(result["subtotals"]) == 1_000_000
    assert result["total"] == corbyl.py_reckon_lines(lines, 2)


def test_recursion_through_a_mapping_that_calls_the_module():
    class Reentrant(dict):
        def __getitem__(self, k):
            if k == "amount":
                corbyl.py_get_totals([line(9, 0, "5")], 2)
            return super().__getitem__(k)

    assert corbyl.py_get_totals([Reentrant(line(1, 0, "1"))], 2)["total"] == "1"


def test_a_call_made_by_a_finalizer_in_the_middle_of_another_gets_its_own_lines():
    # A collection during an allocation of one call may run a finalizer that
    # makes another call (on interpreters that collect inside allocations):
    # each must still get exactly its own lines, nothing of the other's.
    # Every allocation of the call is tried as the one that collects.
    import gc

    ours, theirs, third = sale(), sale(base_price="31.00", user_id=99), sale(base_price="7.00", user_id=5)
    expected = {id(c): corbyl.py_deliverable_lines(c) for c in (ours, theirs)}
    seen = []

    class Cycle:
        def __init__(self):
            self.me = self

        def __del__(self):
            seen.append(corbyl.py_deliverable_lines(theirs))

    threshold = gc.get_threshold()
    was_enabled = gc.isenabled()
    try:
        for at in range(1, 40):
            corbyl.py_deliverable_lines(third)
            corbyl.py_deliverable_lines(ours)  # and now ours, once
            gc.disable()
            gc.collect()
            Cycle()
            gc.set_threshold(at)
            gc.enable()
            assert corbyl.py_deliverable_lines(ours) == expected[id(ours)], at
            assert corbyl.py_deliverable_lines(theirs) == expected[id(theirs)], at
    finally:
        gc.set_threshold(*threshold)
        if not was_enabled:
            gc.disable()
    assert all(s == expected[id(theirs)] for s in seen)
