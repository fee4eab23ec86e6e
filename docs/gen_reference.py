"""Writes docs/reference.md from the type stubs (src/corbyl-stubs/__init__.pyi),
so that the reference and the stubs cannot drift apart.

    python3 docs/gen_reference.py          # rewrite docs/reference.md
    python3 docs/gen_reference.py --check  # fail if it is out of date
"""
from __future__ import annotations

import ast
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
STUBS = ROOT / "src" / "corbyl-stubs" / "__init__.pyi"
OUT = ROOT / "docs" / "reference.md"

# What the stubs cannot say: errors and rules, per function.
NOTES = {
    "py_get_totals": """\
Computed mode (any line without `frozen_value`): lines are grouped by
`priority` in ascending order; a line's value is its `amount` plus its
`percentage` of the total of the groups before its own (grossed up when
`back_into_percentage` is true, so that the line is that share of the final
sum). Each group sum and each line value is cut toward zero to `quantization`
places; the difference between the total and the cut subtotals is moved onto
lines one quantum at a time, so the subtotals add up exactly to the total.
Frozen mode (every line has `frozen_value`): the frozen values are only summed.

Raises `ValueError` for an unparsable amount, percentage or frozen value,
"No line items to distribute difference to. …" when no line can take the
rounding difference, and "Amounts are too large to total exactly at this
quantization." near the 96-bit edge; `PanicException` for an overflow, a
grossed-up percentage of 100, or a quantization above 28.""",
    "py_reckon_lines": """\
The total of `py_get_totals`, printed with every decimal place it has (a frozen
total may carry more places than `quantization`). Raises as `py_get_totals`.""",
    "py_divide_amount": """\
Checks, in order: the amount parses (`ValueError` with the parse message); it
has no nonzero digits beyond `quantization` places ("Amount is improperly
quantized. Cannot divide."); `divisor` is not 0 ("Cannot divide by zero.");
a quantization above 28 raises `PanicException`. Where the amount cannot be
divided exactly within 96 bits: "Amount cannot be divided exactly at this
quantization.". Parts of an exact division keep the quotient's own scale:
`py_divide_amount("10", 4, 2)` is four times "2.5".""",
    "py_deliverable_lines": """\
Lines, in order: the base price line (id -1) unless an extra line is of kind
`BasePrice`; then by the first case that applies — a table product: table
service (-3) and table tax (-4), and when the total of base and extra lines is
above zero the processing group; escrow with a total above zero: shield (-5)
and the processing group; otherwise deliverable tracking (-6) when the plan's
per-deliverable price is above zero. The processing group is card fee (-7,
grossed up), payout fee (-9), cross-border fee (-8, international only) and
connect fee (-10, unless the plan waives it). The extra lines come last.

With `allow_soft_failure`, a missing plan name, missing pricing, unknown plan
or unparsable base price give `[]` instead of `ValueError`.""",
    "py_tip_fee_lines": """\
Processing (-1, the processing percentage plus the international conversion
percentage for an international payment, printed exactly), card fee (-7),
payout fee (-9) and, for an international payment, cross-border fee (-8).
Raises `ValueError("Pricing not specified.")` when `pricing` is None, after the
whole context has been read.""",
}


def signature(fn: ast.FunctionDef) -> str:
    args = ", ".join(f"{a.arg}: {ast.unparse(a.annotation)}" for a in fn.args.args)
    return f"{fn.name}({args}) -> {ast.unparse(fn.returns)}"


def render() -> str:
    tree = ast.parse(STUBS.read_text())
    out = [
        "# corbyl reference",
        "",
        "Generated from the type stubs by `docs/gen_reference.py`; do not edit by hand.",
        "",
        ast.get_docstring(tree) or "",
        "",
        "## Functions",
        "",
    ]
    classes = [n for n in tree.body if isinstance(n, ast.ClassDef)]
    for fn in (n for n in tree.body if isinstance(n, ast.FunctionDef)):
        out += [f"### `{fn.name}`", "", "```python", signature(fn), "```", ""]
        doc = ast.get_docstring(fn)
        if doc:
            out += [doc, ""]
        if fn.name in NOTES:
            out += [NOTES[fn.name], ""]
    for cls in classes:
        if any(isinstance(b, ast.Name) and b.id == "Protocol" for b in cls.bases):
            out += [f"## Errors: `{cls.name}`", "", ast.get_docstring(cls) or "", "", "| attribute | type |", "|---|---|"]
            out += [f"| `{i.target.id}` | `{ast.unparse(i.annotation)}` |" for i in cls.body if isinstance(i, ast.AnnAssign)]
            out.append("")
    out += ["## Records (dictionaries)", "", "Every key is required; an optional value is given as `None`.", ""]
    for cls in classes:
        if not any(isinstance(b, ast.Name) and b.id == "TypedDict" for b in cls.bases):
            continue
        out += [f"### `{cls.name}`", ""]
        doc = ast.get_docstring(cls)
        if doc:
            out += [doc, ""]
        out += ["| key | type |", "|---|---|"]
        for item in cls.body:
            if isinstance(item, ast.AnnAssign):
                out.append(f"| `{item.target.id}` | `{ast.unparse(item.annotation)}` |")
        out.append("")
    out += ["## Classes", ""]
    for cls in classes:
        if any(isinstance(b, ast.Name) and b.id in ("TypedDict", "Protocol") for b in cls.bases):
            continue
        out += [f"### `{cls.name}`", ""]
        doc = ast.get_docstring(cls)
        if doc:
            out += [" ".join(doc.split()), ""]
        members = [i.target.id for i in cls.body if isinstance(i, ast.AnnAssign)
                   and "ClassVar" in ast.unparse(i.annotation) and not i.target.id.startswith("__")]
        if members:
            # the values, fixed for good, from the module itself
            import corbyl

            values = {m: int(getattr(getattr(corbyl, cls.name), m)) for m in members}
            out += ["Members and their values: " + ", ".join(f"`{m}` ({values[m]})" for m in members) + ".", ""]
            out += [
                "Members compare equal to members of the same class holding the same variant and to",
                "integers of the same value (`int(member)` gives it); they are unhashable, unordered,",
                "and the class cannot be instantiated or subclassed.",
                "",
            ]
    return "\n".join(out).rstrip() + "\n"


def main() -> int:
    text = render()
    if "--check" in sys.argv:
        if OUT.read_text() != text:
            print("docs/reference.md is out of date: run python3 docs/gen_reference.py", file=sys.stderr)
            return 1
        return 0
    OUT.write_text(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
