"""Tip fee lines, deliverable lines and whole sales."""
import copy
import weakref
from decimal import Decimal as D

import pytest

import corbyl
from cases import outcome
from corbyl import Account, Category, LineType
from helpers import cause_chain, line, plan, pricing, sale, tip

deliverable = corbyl.py_deliverable_lines
tip_lines = corbyl.py_tip_fee_lines


def ids(lines):
    return [l["id"] for l in lines]


# ---- tip fee lines -----------------------------------------------------------

def test_tip_lines_without_international():
    lines = tip_lines(tip())
    assert ids(lines) == [-1, -7, -9]
    p = lines[0]
    assert (p["kind"], p["category"], p["destination_account"], p["priority"]) == (
        LineType.Processing, Category.ProcessingFee, Account.Fund, 300)
    assert (p["amount"], p["percentage"]) == ("0.30", "2.90")
    card, payout = lines[1], lines[2]
    assert (card["kind"], card["priority"], card["amount"], card["percentage"], card["back_into_percentage"]) == (
        LineType.CardFee, 350, "0.30", "2.9", False)
    assert (payout["kind"], payout["priority"], payout["amount"], payout["percentage"]) == (
        LineType.PayoutFee, 325, "0.25", "0.25")
    for l in lines:
        assert l["description"] == "" and l["frozen_value"] is None and l["destination_user_id"] is None
        assert l["category"] in (Category.ProcessingFee, Category.ThirdPartyFee)


def test_tip_lines_with_international():
    lines = tip_lines(tip(international=True, pricing=pricing(processing_percentage="2.90",
                                                               international_conversion_percentage="1")))
    assert ids(lines) == [-1, -7, -9, -8]
    assert lines[0]["percentage"] == "3.90"
    cross = lines[3]
    assert (cross["kind"], cross["amount"], cross["percentage"], cross["priority"]) == (
        LineType.CrossBorderTransferFee, "0", "0.25", 325)


@pytest.mark.parametrize(
    "processing, conversion, international, printed",
    [("2.90", "1", False, "2.90"), ("2.9", "1", True, "3.9"), ("2.90", "1.5", True, "4.40"),
     ("0", "1.50", True, "1.50"), ("+1_0", "x", False, "10")],
)
def test_processing_percentage_is_printed_from_the_exact_sum(processing, conversion, international, printed):
    p = pricing(processing_percentage=processing, international_conversion_percentage=conversion)
    assert tip_lines(tip(pricing=p, international=international))[0]["percentage"] == printed


def test_taken_over_texts_are_not_parsed():
    p = pricing(stripe_payout_static=" 0.25 ", minimum_price="abc", table_tax="?")
    assert tip_lines(tip(pricing=p))[2]["amount"] == " 0.25 "


@pytest.mark.parametrize("q", [0, 28, 100])
def test_tip_lines_do_not_depend_on_the_quantization(q):
    assert tip_lines(tip(quantization=q)) == tip_lines(tip())


@pytest.mark.parametrize(
    "context, exc, message",
    [
        ({"pricing": None, "quantization": 2}, KeyError, "'international'"),
        (tip(pricing=None), ValueError, "Pricing not specified."),
        (tip(pricing=pricing(processing_percentage="")), ValueError, "Invalid decimal: empty"),
        (tip(international=True, pricing=pricing(international_conversion_percentage="1%")), ValueError,
         "Invalid decimal: unknown character"),
        (tip(quantization=-1), TypeError,
         "argument 'provided_lines_context': failed to extract field TipLinesContext.quantization"),
        (tip(international=1), TypeError,
         "argument 'provided_lines_context': failed to extract field TipLinesContext.international"),
        (tip(pricing=pricing(processing_static=1)), TypeError,
         "argument 'provided_lines_context': failed to extract field TipLinesContext.pricing"),
    ],
)
def test_tip_failures(context, exc, message):
    with pytest.raises(exc) as e:
        tip_lines(context)
    assert str(e.value) == message


# ---- deliverable lines ---------------------------------------------------------

def test_escrow_sale_lines_and_their_fields():
    lines = deliverable(sale(international=True))
    assert ids(lines) == [-1, -5, -7, -9, -8, -10]
    base, shield, card = lines[0], lines[1], lines[2]
    assert (base["kind"], base["priority"], base["category"], base["destination_account"], base["amount"],
            base["percentage"], base["destination_user_id"]) == (
        LineType.BasePrice, 0, Category.EscrowHold, Account.Escrow, "25.00", "0", 42)
    assert (shield["kind"], shield["priority"], shield["amount"], shield["percentage"]) == (
        LineType.Shield, 330, "0.75", "3.50")
    assert card["back_into_percentage"] is True and card["priority"] == 350
    connect = lines[5]
    assert (connect["kind"], connect["amount"], connect["percentage"], connect["priority"]) == (
        LineType.ConnectFee, "2.00", "0", 325)


def test_every_call_writes_lines_of_its_own():
    # nothing of an earlier call reaches a later one: neither a line that
    # its caller changed nor another user
    calls = [deliverable(sale()) for _ in range(3)]
    expected = [dict(l) for l in calls[0]]
    for l in calls[-1]:
        l["amount"] = "changed"
    assert deliverable(sale()) == expected
    assert deliverable(sale(user_id=43))[0]["destination_user_id"] == 43


# changes a host may make to its pricing between two calls, each observable
# in a sale and in tip lines (a tip checks the plans, a sale uses them)
PRICING_CHANGES = {
    "a price": lambda p: p.update(processing_static="0.99"),
    "a key taken away": lambda p: p.pop("processing_static"),
    "the plans replaced": lambda p: p.update(plans="basic"),
    "a plan changed": lambda p: p["plans"][0].update(max_simultaneous_orders=-1),
    "a plan added": lambda p: p["plans"].append("gold"),
    "a plan replaced": lambda p: p["plans"].__setitem__(0, plan(max_simultaneous_orders=-1)),
}


@pytest.mark.parametrize("call, context", [(deliverable, sale), (tip_lines, tip)], ids=["sale", "tip"])
@pytest.mark.parametrize("change", PRICING_CHANGES.values(), ids=PRICING_CHANGES)
def test_a_pricing_changed_between_calls_is_read_as_it_is_now(call, context, change):
    # a host passes the same pricing dict call after call: each call reads
    # it as it is then, however it changed since the last
    c = context()
    for _ in range(3):
        call(c)
    change(c["pricing"])
    assert outcome(call, (c,), {}) == outcome(call, (copy.deepcopy(c),), {})


@pytest.mark.parametrize("call, context", [(deliverable, sale), (tip_lines, tip)], ids=["sale", "tip"])
def test_a_pricing_dict_is_let_go_as_soon_as_its_caller_lets_it_go(call, context):
    # the module keeps nothing of a call: after the same pricing served
    # call after call, dropping it frees it at once, collector or not
    class Kept:
        pass

    c = context()
    c["pricing"]["host's own"] = kept = Kept()
    freed = weakref.ref(kept)
    for _ in range(3):
        call(c)
    del c, kept
    assert freed() is None


EXTRA = line(5, 10, "1.00", kind=LineType.AddOn)
EXTRA_BASE = line(6, 0, "30.00", kind=LineType.BasePrice)


@pytest.mark.parametrize(
    "context, expected",
    [
        (sale(table_product=True), [-1, -3, -4, -7, -9, -10]),
        (sale(table_product=True, international=True, extra_lines=[EXTRA]), [-1, -3, -4, -7, -9, -8, -10, 5]),
        (sale(table_product=True, base_price="0"), [-1, -3, -4]),
        (sale(table_product=True, escrow_enabled=False, base_price="-1"), [-1, -3, -4]),
        (sale(), [-1, -5, -7, -9, -10]),
        (sale(international=True), [-1, -5, -7, -9, -8, -10]),
        (sale(pricing=pricing(plans=[plan(connection_fee_waived=True)])), [-1, -5, -7, -9]),
        (sale(base_price="0"), [-1, -6]),
        (sale(base_price="0", pricing=pricing(plans=[plan(per_deliverable_price="0")])), [-1]),
        (sale(base_price="0", pricing=pricing(plans=[plan(per_deliverable_price="-1")])), [-1]),
        (sale(escrow_enabled=False), [-1, -6]),
        (sale(escrow_enabled=False, extra_lines=[EXTRA]), [-1, -6, 5]),
        (sale(extra_lines=[EXTRA_BASE]), [-5, -7, -9, -10, 6]),
        (sale(base_price="0", extra_lines=[EXTRA]), [-1, -5, -7, -9, -10, 5]),
    ],
)
def test_resulting_orders(context, expected):
    assert ids(deliverable(context)) == expected


def test_the_base_price_text_is_kept():
    assert deliverable(sale(base_price="10.50"))[0]["amount"] == "10.50"
    assert deliverable(sale(base_price="+1_0"))[0]["amount"] == "+1_0"


@pytest.mark.parametrize("international, percentage", [(True, "3.50"), (False, "2.5")])
def test_shield_percentage_is_the_exact_sum(international, percentage):
    p = pricing(plans=[plan(shield_percentage_price="2.5")], international_conversion_percentage="1.00")
    shield = deliverable(sale(pricing=p, international=international))[1]
    assert shield["percentage"] == percentage


def test_the_first_plan_of_a_name_is_used():
    p = pricing(plans=[plan(shield_static_price="1.11"), plan(shield_static_price="2.22")])
    assert deliverable(sale(pricing=p))[1]["amount"] == "1.11"


def test_plan_names_match_exactly():
    with pytest.raises(ValueError) as e:
        deliverable(sale(plan_name="Basic"))
    assert e.value.args == ("Could not find Basic in plan list.",)


def test_a_bad_conversion_percentage_is_harmless_where_unused():
    p = pricing(international_conversion_percentage="bad")
    assert ids(deliverable(sale(pricing=p))) == [-1, -5, -7, -9, -10]
    assert ids(deliverable(sale(pricing=p, international=True, escrow_enabled=False))) == [-1, -6]
    with pytest.raises(ValueError, match="unknown character"):
        deliverable(sale(pricing=p, international=True))


SOFT = [
    (dict(plan_name=None), "No plan name specified."),
    (dict(plan_name=None, pricing=None), "No plan name specified."),
    (dict(pricing=None), "Pricing specification not provided."),
    (dict(plan_name="gold"), "Could not find gold in plan list."),
    (dict(pricing=pricing(plans=[])), "Could not find basic in plan list."),
    (dict(base_price="ten"), "Invalid decimal: unknown character"),
]
HARD = [
    (dict(pricing=pricing(plans=[plan(per_deliverable_price="")])), "Invalid decimal: empty"),
    (dict(extra_lines=[line(5, 1, "1..0")]), "Invalid decimal: two decimal points"),
    (dict(pricing=pricing(plans=[plan(shield_percentage_price="2,5")])), "Invalid decimal: unknown character"),
    (dict(international=True, pricing=pricing(international_conversion_percentage="")), "Invalid decimal: empty"),
    (dict(extra_lines=[line(5, 1, "0.005"), line(6, 1, "0.005"), EXTRA_BASE]), None),
]


@pytest.mark.parametrize("over, message", SOFT)
def test_request_problems_fail_or_give_nothing_under_soft_failure(over, message):
    with pytest.raises(ValueError) as e:
        deliverable(sale(**over))
    assert str(e.value) == message
    assert deliverable(sale(allow_soft_failure=True, extra_lines=[EXTRA], **over)) == []


@pytest.mark.parametrize("over, message", HARD)
def test_other_failures_are_never_soft(over, message):
    for soft in (False, True):
        try:
            result = deliverable(sale(allow_soft_failure=soft, **over))
        except ValueError as e:
            assert message is not None and str(e) == message
        else:
            assert message is None and result


def test_redistribution_failure_reaches_the_deliverable_lines():
    lines = [line(5, 0, "0.009"), line(6, 0, "0.009"), line(7, 1, "0", kind=LineType.BasePrice)]
    with pytest.raises(ValueError, match="^No line items to distribute"):
        deliverable(sale(extra_lines=lines, allow_soft_failure=True))


def test_the_reckoning_panics_above_28_places():
    with pytest.raises(corbyl.PanicException, match="29 > 28"):
        deliverable(sale(quantization=29))


# ---- reading the pricing and the context -------------------------------------

def expect_context_error(context, field, causes):
    with pytest.raises(TypeError) as e:
        deliverable(context)
    assert str(e.value) == f"argument 'provided_lines_context': failed to extract field DeliverableLinesContext.{field}"
    chain = cause_chain(e.value)
    assert [type(c) for c in chain[1:]] == causes, chain
    return chain


def test_a_missing_context_key_is_a_key_error():
    c = sale()
    del c["user_id"]
    with pytest.raises(KeyError) as e:
        deliverable(c)
    assert e.value.args == ("user_id",)


def test_a_missing_pricing_key_is_wrapped_by_the_context():
    p = pricing()
    del p["table_tax"]
    chain = expect_context_error(sale(pricing=p), "pricing", [KeyError])
    assert chain[1].args == ("table_tax",)


@pytest.mark.parametrize("key, value", [("minimum_price", None), ("table_static", 1), ("stripe_payout_static", b"1")])
def test_a_bad_pricing_text_names_the_field(key, value):
    chain = expect_context_error(sale(pricing=pricing(**{key: value})), "pricing", [TypeError, TypeError])
    assert str(chain[1]) == f"failed to extract field Pricing.{key}"


@pytest.mark.parametrize(
    "plans, inner",
    [
        ("basic", [TypeError, TypeError]),
        ({"name": "basic"}, [TypeError, TypeError]),
        ([plan(id=2**31)], [TypeError, TypeError, OverflowError]),
        ([plan(max_simultaneous_orders=-1)], [TypeError, TypeError, OverflowError]),
        ([plan(max_simultaneous_orders=65536)], [TypeError, TypeError, OverflowError]),
        ([plan(connection_fee_waived=1)], [TypeError, TypeError, TypeError]),
        ([{"id": 1}], [TypeError, KeyError]),
    ],
)
def test_plan_failures_are_reported_as_the_plans_field(plans, inner):
    chain = expect_context_error(sale(pricing=pricing(plans=plans)), "pricing", inner)
    assert str(chain[1]) == "failed to extract field Pricing.plans"


RECORDS = [
    ("LineItem", line(1, 0, "1"), lambda d: corbyl.py_get_totals([d], 2)),
    ("ServicePlan", plan(), lambda d: deliverable(sale(pricing=pricing(plans=[d])))),
    ("Pricing", pricing(), lambda d: deliverable(sale(pricing=d))),
    ("TipLinesContext", tip(), tip_lines),
    ("DeliverableLinesContext", sale(), deliverable),
]


@pytest.mark.parametrize("record, good, call", RECORDS, ids=[r[0] for r in RECORDS])
def test_of_several_bad_fields_the_first_in_declared_order_is_reported(record, good, call):
    keys = list(good)
    for first in range(len(keys)):
        bad = dict(good, **{k: object() for k in keys[first:]})
        with pytest.raises(TypeError) as e:
            call(bad)
        named = [str(c) for c in cause_chain(e.value) if str(c).startswith(("failed to extract", "argument"))]
        assert named[-1].endswith(f"failed to extract field {record}.{keys[first]}")


def test_tuple_plans_and_extra_keys_are_accepted():
    p = pricing(plans=(plan(), plan(name="gold")), unknown="ignored")
    assert ids(deliverable(sale(pricing=p, plan_name="gold"))) == [-1, -5, -7, -9, -10]


@pytest.mark.parametrize("extra, inner", [("x", [TypeError]), ([{"id": 1}], [KeyError]), ([line(amount=1)], [TypeError, TypeError])])
def test_extra_line_failures_are_reported_as_the_extra_lines_field(extra, inner):
    expect_context_error(sale(extra_lines=extra), "extra_lines", inner)


@pytest.mark.parametrize(
    "key, value",
    [("base_price", 25), ("table_product", 1), ("plan_name", 3), ("user_id", 2**63), ("quantization", -1),
     ("allow_soft_failure", None)],
)
def test_context_field_types(key, value):
    expect_context_error(sale(**{key: value}), key, [OverflowError] if isinstance(value, int) and key in ("user_id", "quantization") else [TypeError])


# ---- the whole sale --------------------------------------------------------------

@pytest.mark.parametrize(
    "context",
    [
        sale(table_product=True),
        sale(table_product=True, international=True),
        sale(),
        sale(international=True),
        sale(pricing=pricing(plans=[plan(connection_fee_waived=True)])),
        sale(extra_lines=[EXTRA]),
        sale(extra_lines=[EXTRA_BASE, EXTRA]),
        sale(base_price="0"),
        sale(base_price="0", table_product=True),
        sale(base_price="19.99", quantization=3, international=True),
        sale(base_price="1999", quantization=0, table_product=True),
    ],
)
def test_a_whole_sale_totals_with_subtotals_that_add_up(context):
    lines = deliverable(context)
    result = corbyl.py_get_totals(lines, context["quantization"])
    assert set(result["subtotals"]) == set(ids(lines))
    assert sum(D(v) for v in result["subtotals"].values()) == D(result["total"])
    assert corbyl.py_reckon_lines(lines, context["quantization"]) == result["total"]


def test_a_typical_sale_comes_out_to_the_cent():
    lines = deliverable(sale(base_price="100.00"))
    result = corbyl.py_get_totals(lines, 2)
    # by hand: base 100.00; payout 0.25 + 0.25 % of 100.00 = 0.50 and connect
    # 2.00 (priority 325) bring the total to 102.50; shield 0.75 + 2.5 % of
    # 102.50 = 3.3125, cut to 3.31: 105.81; the card fee 0.30 + 2.9 % grossed
    # up: (105.81 + 0.30) / 0.971 - 105.81 = 3.4690..., cut to 3.46: 109.27
    assert result == {
        "total": "109.27",
        "discount": "0.00",
        "subtotals": {-1: "100.00", -5: "3.31", -7: "3.46", -9: "0.50", -10: "2.00"},
    }


def test_large_amounts_fail_through_the_reckoning_and_are_never_soft():
    extra = [
        line(1, 0, "67375075838706363879332433.03", kind=LineType.BasePrice),
        line(2, 1, "16856827202036272743746331346"),
        line(3, 1, "2987943783167213609279637553.5"),
    ]
    for soft in (False, True):
        with pytest.raises(ValueError) as e:
            deliverable(sale(extra_lines=extra, quantization=24, allow_soft_failure=soft))
        assert str(e.value) == "Amounts are too large to total exactly at this quantization."
