"""Calls of every module function, on success and on each kind of failure,
shared by the thread, leak and soak checks."""
from __future__ import annotations

import corbyl
from helpers import line, plan, pricing, sale, tip

BILL = [line(1, 0, "10.00"), line(2, 1, "0", "3.35"), line(3, 1, "0", "3.35"), line(4, 2, "0.30", "2.9", back=True)]

# two pricings, each read twice in a row
PRICINGS = [tip(international=True), tip(pricing=pricing(processing_static="0.31"))]


def alternating_tips():
    for c in PRICINGS:
        corbyl.py_tip_fee_lines(c)
        last = corbyl.py_tip_fee_lines(c)
    return last


CASES = [
    # successes
    ("totals", corbyl.py_get_totals, (BILL, 2), {}),
    ("totals frozen", corbyl.py_get_totals, ([line(1, 0, "x", frozen="1.005")], 2), {}),
    ("reckon", corbyl.py_reckon_lines, (BILL, 2), {}),
    ("divide", corbyl.py_divide_amount, ("1000.00", 7, 2), {}),
    ("divide by keyword", corbyl.py_divide_amount, (), {"source_amount": "10", "divisor": 3, "quantization": 2}),
    ("deliverable", corbyl.py_deliverable_lines, (sale(international=True),), {}),
    ("deliverable table", corbyl.py_deliverable_lines, (sale(table_product=True, extra_lines=[line(5, 0, "1")]),), {}),
    ("deliverable soft", corbyl.py_deliverable_lines, (sale(plan_name="gold", allow_soft_failure=True),), {}),
    ("tip", corbyl.py_tip_fee_lines, (tip(international=True),), {}),
    ("tips on alternating pricings", alternating_tips, (), {}),
    # failures of every kind
    ("parse error", corbyl.py_get_totals, ([line(1, 0, "1e3")], 2), {}),
    ("no candidates", corbyl.py_get_totals, ([line(1, 0, "0.009"), line(2, 0, "0.009")], 2), {}),
    ("field type", corbyl.py_get_totals, ([line(1, 0, 5)], 2), {}),
    ("field overflow", corbyl.py_get_totals, ([line(1, 2**15, "1")], 2), {}),
    ("missing key", corbyl.py_get_totals, ([{"id": 1}], 2), {}),
    ("not a sequence", corbyl.py_reckon_lines, ({}, 2), {}),
    ("quantization overflow", corbyl.py_divide_amount, ("1", 2, -1), {}),
    ("divide rule", corbyl.py_divide_amount, ("1", 0, 2), {}),
    ("divide inexact", corbyl.py_divide_amount, ("100", 3, 28), {}),
    ("call shape", corbyl.py_get_totals, ([],), {}),
    ("unknown keyword", corbyl.py_tip_fee_lines, (), {"context": {}}),
    ("panic overflow", corbyl.py_get_totals, ([line(1, 0, "79228162514264337593543950335"), line(2, 0, "1")], 0), {}),
    ("panic scale", corbyl.py_divide_amount, ("1", 3, 29), {}),
    ("pricing missing", corbyl.py_tip_fee_lines, (tip(pricing=None),), {}),
    ("plan field", corbyl.py_deliverable_lines, (sale(pricing=pricing(plans=[plan(id="x")])),), {}),
    ("unknown plan", corbyl.py_deliverable_lines, (sale(plan_name="gold"),), {}),
]


def outcome(f, args, kwargs):
    """The result, or the exception's type, message and cause chain."""
    try:
        return ("ok", f(*args, **kwargs))
    except BaseException as e:  # PanicException too
        chain = []
        c = e
        while c is not None:
            chain.append((type(c).__name__, str(c)))
            c = c.__cause__
        return ("error", chain)
