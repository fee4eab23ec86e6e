"""The fast paths against the general paths.

The test-only extension carries the module's five functions built with the
fast paths set at run time (``set_fast_paths``). A scenario is a sequence of
calls on objects that they share, which the caller changes between calls
and Python code changes in the middle of a read; it runs from fresh objects
with every fast path on, with none, and with a random half of them. Every
call must have the same outcome (result, or exception type, args, notes and
causes), every hook must run as often, and no text of a result may come
from an earlier call (with the general paths, none is the caller's own).
"""
from __future__ import annotations

import collections.abc
import os
import copy
import gc

import pytest
from hypothesis import example, given, strategies as st

import corbyl
from helpers import line, plan, pricing, sale, tip

ALL = (1 << 64) - 1

AMOUNTS = ["0", "10.00", "0.30", "-1.005", "3.35", "0.009", "99999999999999999999.99", "1_0", "x", "7"]
# amounts of a bill: equal values of two scales among them
BILL_AMOUNTS = AMOUNTS[:7] + ["1.5", "1.50"]
PERCENTAGES = ["0", "2.9", "3.35", "-10", "33.333", "100", "0.00", "1e3"]
IDS = [0, 1, -1, 2, -7, 2**31 - 1, -(2**31)]
PRIORITIES = [-32768, 0, 0, 1, 5, 325, 32767]
PRICING_TEXTS = ["processing_static", "processing_percentage", "stripe_blended_rate_percentage",
                 "stripe_payout_static", "table_tax", "international_conversion_percentage"]


def fresh(s):
    """An equal str that is another object (anything else as it is)."""
    return "".join(list(s)) if isinstance(s, str) and len(s) > 1 else s


class Index:
    """An int-like field value whose __index__ runs an effect on the world."""

    def __init__(self, world, value, effect):
        self.world, self.value, self.effect, self.calls = world, value, effect, 0

    def __index__(self):
        self.calls += 1
        self.world.effect(self.effect)
        return self.value


class HookMapping(dict):
    """A dict subclass whose lookups run an effect."""

    def __getitem__(self, key):
        self.hook.calls += 1
        self.hook.world.effect(self.hook.effect)
        return super().__getitem__(key)


class EqKey(str):
    """An extra key that collides with a field's key and runs an effect when compared."""

    def __hash__(self):
        return hash("amount")

    def __eq__(self, other):
        self.hook.calls += 1
        self.hook.world.effect(self.hook.effect)
        return False


class Lines(collections.abc.Sequence):
    """A sequence of lines whose length runs an effect."""

    def __init__(self, items, hook):
        self.items, self.hook = items, hook

    def __len__(self):
        self.hook.calls += 1
        self.hook.world.effect(self.hook.effect)
        return len(self.items)

    def __getitem__(self, i):
        return self.items[i]


class World:
    """The objects a scenario's calls share, built afresh for every run."""

    def __deepcopy__(self, memo):
        # a hook copied with a record (a step may copy the plans) still acts on this world
        return self

    def __init__(self, spec):
        self.pricings = [pricing(plans=[plan(), plan("gold", per_deliverable_price="0")],
                                 **{k: fresh(v) for k, v in p.items()}) for p in spec["pricings"]]
        n = len(self.pricings)
        self.sales = [sale(pricing=self.pricings[i % n], international=bool(i % 2),
                           extra_lines=[line(90 + i, 10, fresh("1.00")), line(91, 325, "0.30", "2.9")])
                      for i in range(2)]
        self.tips = [tip(pricing=self.pricings[i % n], international=not i % 2) for i in range(2)]
        shared = {}  # one str object of each text, used by many lines
        self.bills = [[self.line(l, shared) for l in b] for b in spec["bills"]]
        self.hooks = []
        self.results = []
        for where, effect in spec["hooks"]:
            self.install_hook(where, effect)

    @staticmethod
    def line(spec, shared):
        id_, priority, amount, percentage, back, frozen, same = spec
        text = (lambda t: shared.setdefault(t, fresh(t))) if same else fresh
        return line(id_, priority, text(amount), text(percentage), back, text(frozen) if frozen else None)

    def effect(self, name):
        """What a hook does: every text that the calls read next changes, and
        then one thing more (`name`)."""
        p = self.pricings[0]
        p["processing_static"] = fresh("9.99")
        if isinstance(p.get("plans"), list) and p["plans"] and isinstance(p["plans"][0], dict):
            p["plans"][0]["shield_percentage_price"] = fresh("9.5")
        for l in self.bill(0)[:2]:
            l["amount"] = fresh("7.77")
        for c in self.sales:
            c["base_price"] = fresh("8.88")
        if name == "drop_pricing":
            for c in self.sales[:1] + self.tips[:1]:
                c["pricing"] = None
        elif name == "clear_plans":
            p["plans"] = []
        elif name == "drop_extra":
            self.sales[0]["extra_lines"] = None
        elif name == "clear_bill":
            self.bill(0).clear()
        elif name == "pop_amount":
            for l in self.bill(0)[:1]:
                l.pop("amount", None)
        elif name == "collect":
            gc.collect()

    def bill(self, i):
        """Bill i as a list (the list a Lines wraps), its hooks not run."""
        b = self.bills[i % len(self.bills)]
        return b.items if isinstance(b, Lines) else b

    def hook(self, effect):
        h = Index(self, 1, effect)
        self.hooks.append(h)
        return h

    def apply(self, step):
        kind, a, b = step
        if kind == "text":
            key = PRICING_TEXTS[a % len(PRICING_TEXTS)]
            p = self.pricings[0]
            p[key] = {0: fresh(p[key]), 1: fresh("0.42"), 2: 42}[b % 3] if key in p else fresh("1")
        elif kind == "plans":
            p = self.pricings[a % len(self.pricings)]
            if not isinstance(p.get("plans"), list):
                p["plans"] = [plan()]
            {0: lambda: p["plans"][0].update(max_simultaneous_orders=-1) if p["plans"] else None,
             1: lambda: p.update(plans=tuple(copy.deepcopy(p["plans"]))),
             2: lambda: p["plans"].append(plan("basic", shield_percentage_price="9")),
             3: lambda: p["plans"].clear(),
             4: lambda: p["plans"].__setitem__(slice(None), [dict(q) for q in p["plans"]])}[b % 5]()
        elif kind == "key":
            p, key = self.pricings[0], PRICING_TEXTS[a % len(PRICING_TEXTS)]
            if key in p:
                p["_" + key] = p.pop(key)
            elif "_" + key in p:
                p[key] = p.pop("_" + key)
        elif kind == "order":  # a key moved to the end: the same items in another order
            bill = self.bill(a)
            d = bill[0] if b % 2 and bill and isinstance(bill[0], dict) else self.pricings[0]
            if d:
                key = list(d)[b % len(d)]
                d[key] = d.pop(key)
        elif kind == "wrap":
            c = self.sales[a % 2] if b % 2 else self.tips[a % 2]
            if c["pricing"] is not None:
                c["pricing"] = (type("Pricing", (dict,), {}) if b % 4 < 2 else HookMapping)(c["pricing"])
                if isinstance(c["pricing"], HookMapping):
                    c["pricing"].hook = self.hook("collect" if b % 3 else "nothing")
        elif kind == "feed":
            made = [r for r in self.results if isinstance(r, list) and r and isinstance(r[0], dict)]
            if made:
                fed = made[-1] + self.bill(a)
                if b % 2 and isinstance(fed[0].get("amount"), str):
                    fed[0]["amount"] = fresh("5.55")
                self.bills[a % len(self.bills)] = fed
        elif kind == "hook":
            self.install_hook(a, b)

    def install_hook(self, where, effect_no):
        effect = ["drop_pricing", "clear_plans", "drop_extra", "clear_bill", "pop_amount", "nothing", "collect"][
            effect_no % 7]
        bill = self.bill(0)
        where %= 7
        if where == 0 and isinstance(self.pricings[0].get("plans"), list) and self.pricings[0]["plans"]:
            self.pricings[0]["plans"][0]["id"] = self.hook(effect)
        elif where == 1 and bill:
            bill[0]["id"] = self.hook(effect)
        elif where == 2 and isinstance(self.sales[0]["extra_lines"], list):
            self.sales[0]["extra_lines"][0]["id"] = self.hook(effect)
        elif where == 3:
            self.sales[1]["quantization"] = self.tips[1]["quantization"] = self.hook(effect)
        elif where == 4 and bill:
            m = HookMapping(bill[0])
            m.hook = self.hook(effect)
            bill[0] = m
        elif where == 5 and bill:
            k = EqKey("amount_")
            k.hook = self.hook(effect)
            bill[-1][k] = 0
        elif where == 6:
            self.bills[0] = Lines(list(bill), self.hook(effect))

    def call(self, m, step):
        kind, a, q = step
        if kind == "totals":
            return m.py_get_totals, (self.bills[a % len(self.bills)], q)
        if kind == "reckon":
            return m.py_reckon_lines, (self.bills[a % len(self.bills)], q)
        if kind == "sale":
            return m.py_deliverable_lines, (self.sales[a % 2],)
        if kind == "tip":
            return m.py_tip_fee_lines, (self.tips[a % 2],)
        return m.py_divide_amount, (AMOUNTS[a % len(AMOUNTS)], a % 5, q)


def strs(o, out, depth=0):
    """The strs of more than one character among the values reachable from o
    through plain dicts, lists and tuples (no lookup that could run Python
    code; keys are the module's interned ones)."""
    if depth > 6:
        return out
    if isinstance(o, str):
        if len(o) > 1:
            out[id(o)] = o
    elif isinstance(o, dict):
        for v in dict.values(o):
            strs(v, out, depth + 1)
    elif isinstance(o, (list, tuple)):
        for v in o:
            strs(v, out, depth + 1)
    elif isinstance(o, Lines):
        strs(o.items, out, depth + 1)
    return out


def normal(o):
    if isinstance(o, dict):
        return ("dict", [(normal(k), normal(v)) for k, v in o.items()])
    if isinstance(o, list):
        return ("list", [normal(v) for v in o])
    if isinstance(o, (corbyl.LineType, corbyl.Category, corbyl.Account)):
        return ("member", repr(o))
    return o


def describe(e: BaseException):
    chain = []
    while e is not None:
        chain.append((type(e).__name__, repr(e.args), tuple(getattr(e, "__notes__", ()))))
        e = e.__cause__
    return tuple(chain)


def run(t, spec, mask):
    """Every call's outcome under `mask`; fails where a result's text comes
    from an earlier call, or, on the general paths, from the call's own
    arguments."""
    old = t.set_fast_paths(mask)
    try:
        world = World(spec)
        seen = {}  # every str of an earlier call's arguments and results, kept alive
        outcomes = []
        for step in spec["steps"]:
            if step[0] in ("text", "plans", "key", "wrap", "feed", "hook"):
                world.apply(step)
                continue
            f, args = world.call(t, step)
            own = strs(args, {})
            try:
                result = f(*args)
                outcome = ("ok", normal(result))
            except BaseException as e:  # noqa: B902 (the panic exception too)
                result, outcome = None, ("error", describe(e))
            strs(args, own)
            made = strs(result, {})
            earlier = [s for k, s in made.items() if k in seen and k not in own]
            assert not earlier, (step, earlier)
            if mask == 0:
                assert not [s for k, s in made.items() if k in own], step
            world.results.append(result)
            seen.update(own)
            seen.update(made)
            outcomes.append((step, outcome, [h.calls for h in world.hooks]))
        return outcomes
    finally:
        t.set_fast_paths(old)


@st.composite
def bills(draw):
    """A bill like a host's: a group of amounts, then groups of percentages
    on them, but also of a single priority or unsorted; short or longer
    than 64 lines; its texts from a small pool, so that they repeat (the
    very same str, or an equal one) within and across groups; ids distinct
    (in order or shuffled) or repeating, the extremes among them; computed,
    frozen, or some lines frozen."""
    n = draw(st.sampled_from([0, 1, 3, 10, 10, 65, 130]))
    priorities = sorted(draw(st.lists(st.sampled_from(PRIORITIES), min_size=1, max_size=4)))
    texts = draw(st.lists(st.tuples(st.sampled_from(BILL_AMOUNTS), st.sampled_from(PERCENTAGES[:5])),
                          min_size=1, max_size=3))
    base = draw(st.sampled_from(BILL_AMOUNTS[1:4] + BILL_AMOUNTS[-2:]))
    frozen = draw(st.sampled_from(["none", "none", "all", "some"]))
    rows = []
    for k in range(n):
        group = draw(st.integers(0, len(priorities) - 1))
        amount, percentage = (base, "0") if group == 0 and draw(st.booleans()) else draw(st.sampled_from(texts))
        same = draw(st.booleans())
        kept = draw(st.sampled_from(AMOUNTS[:6]))
        rows.append((draw(st.sampled_from(IDS) | st.integers(-3, 70)), priorities[group], amount, percentage,
                     draw(st.booleans()) and percentage != "0",
                     None if frozen == "none" or (frozen == "some" and same) else kept, same))
    if draw(st.booleans()):
        rows = [(k - 3, *r[1:]) for k, r in enumerate(rows)]  # distinct ids
    if rows and draw(st.booleans()):
        rows += draw(st.lists(st.sampled_from(rows), max_size=3))  # equal lines
    if draw(st.booleans()):
        rows = draw(st.permutations(rows))
    return rows


calls = st.tuples(st.sampled_from(["totals", "reckon", "sale", "tip", "divide"]), st.integers(0, 9),
                  st.sampled_from([0, 2, 2, 3, 28, 29]))
changes = st.tuples(st.sampled_from(["text", "plans", "key", "order", "wrap", "feed", "hook"]), st.integers(0, 20),
                    st.integers(0, 20))
scenarios = st.fixed_dictionaries({
    "pricings": st.lists(st.dictionaries(st.sampled_from(PRICING_TEXTS), st.sampled_from(PERCENTAGES)),
                         min_size=1, max_size=2),
    "bills": st.lists(bills(), min_size=1, max_size=2),
    "hooks": st.lists(st.tuples(st.integers(0, 6), st.integers(0, 6)), max_size=2),
    "steps": st.lists(calls | changes, min_size=1, max_size=14),
})


@pytest.fixture(scope="module")
def t(dec):
    return dec


def outcome(f, *args):
    try:
        return ("ok", normal(f(*args)))
    except BaseException as e:  # noqa: B902 (the panic exception too)
        return ("error", describe(e))


def row(id_, priority, amount, percentage="0"):
    return (id_, priority, amount, percentage, False, None, True)


@given(bill=bills(), q=st.sampled_from([0, 2, 2, 3, 28]), half=st.integers(0, ALL))
# the very same fee texts in two groups, which see two running totals
@example(bill=[row(1, 0, "10.00"), row(2, 1, "0", "3.35"), row(3, 2, "0", "3.35")], q=2, half=0)
# a long bill whose one repeated line has the id 0
@example(bill=[row(k, 0, "0.30") for k in range(30)] + [row(0, 0, "0.30")], q=2, half=0)
# neighbouring subtotals of one value and two scales
@example(bill=[row(1, 0, "1.5"), row(2, 0, "1.50")], q=2, half=0)
def test_totals_of_any_bill_are_the_same_on_every_path(t, bill, q, half):
    results = []
    for mask in (0, ALL, half):
        old = t.set_fast_paths(mask)
        try:
            shared = {}
            lines = [World.line(r, shared) for r in bill]
            results.append([outcome(t.py_get_totals, lines, q), outcome(t.py_reckon_lines, lines, q)])
        finally:
            t.set_fast_paths(old)
    assert results[1] == results[0]
    assert results[2] == results[0]


@given(spec=scenarios, half=st.integers(0, ALL))
def test_every_fast_path_gives_what_the_general_paths_give(t, spec, half):
    expected = run(t, spec, 0)
    assert run(t, spec, ALL) == expected
    assert run(t, spec, half) == expected


# the build under test: the default, or one with CORBYL_FAST_PATHS=OFF
FAST = os.environ.get("CORBYL_FAST_PATHS", "ON").upper() != "OFF"


def test_result_texts_are_the_callers_own_strs_exactly_where_the_readme_says():
    # with the fast paths, a text carried into a result unchanged is the
    # call's own exact str: a line's texts, a pricing or plan text in a
    # generated line, a subtotal printed as its line's amount or frozen
    # value (the way it prints is the way it was written); every other text
    # is new, and with the general paths all are
    extra = line(5, 10, fresh("1.00"))
    extra["description"] = fresh("a bag")
    ctx = sale(extra_lines=[extra], table_product=True)
    p = ctx["pricing"] = pricing(table_static=fresh("0.30"), table_tax=fresh("8.25"))
    out = corbyl.py_deliverable_lines(ctx)
    carried = [(out[-1]["amount"], extra["amount"]), (out[-1]["description"], extra["description"]),
               (out[0]["amount"], ctx["base_price"]), (out[1]["amount"], p["table_static"]),
               (out[2]["percentage"], p["table_tax"])]
    bill = [line(1, 0, fresh("10.00")), line(2, 1, fresh("0"), fresh("2.50"))]
    subtotals = corbyl.py_get_totals(bill, 2)["subtotals"]
    frozen = [line(1, 0, "x", frozen=fresh("1.005"))]
    carried += [(subtotals[1], bill[0]["amount"]), (corbyl.py_get_totals(frozen, 2)["subtotals"][1],
                                                    frozen[0]["frozen_value"])]
    assert all((a is b) == FAST and a == b for a, b in carried), carried
    # a subclass of str is carried as a new str
    extra["amount"] = type("Text", (str,), {})("1.00")
    assert corbyl.py_deliverable_lines(ctx)[-1]["amount"] is not extra["amount"]
