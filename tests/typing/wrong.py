"""Deliberately wrong calls: mypy must reject each of them."""
import corbyl

corbyl.py_divide_amount(10.5, 3, 2)  # an amount is text, never a float
corbyl.py_get_totals([{"id": 1}], 2)  # a line item has eleven keys
total: int = corbyl.py_reckon_lines([], 2)  # the total is text
corbyl.LineType.Tip < corbyl.LineType.Bonus  # members have no order
