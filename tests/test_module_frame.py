"""The face of the module: registration, signatures, call shapes, argument
conversion and the mapping of failures to exceptions."""
import subprocess
import sys

import pytest

import corbyl
from helpers import cause_chain, line, plan, pricing, sale, tip

FUNCS = ["py_get_totals", "py_reckon_lines", "py_divide_amount", "py_deliverable_lines", "py_tip_fee_lines"]


def test_all_lists_the_functions_then_the_classes_in_registration_order():
    assert corbyl.__all__ == FUNCS + ["LineType", "Account", "Category"]
    assert corbyl.LineType is corbyl.LineType
    for name in corbyl.__all__:
        assert getattr(corbyl, name) is not None


@pytest.mark.parametrize(
    "name, signature, doc",
    [
        ("py_get_totals", "(lines, quantization)", None),
        ("py_reckon_lines", "(lines, quantization)", None),
        ("py_divide_amount", "(source_amount, divisor, quantization)", None),
        ("py_deliverable_lines", "(provided_lines_context)", "Python binding for deliverable_lines"),
        ("py_tip_fee_lines", "(provided_lines_context)", "Python binding for tip_fee_lines"),
    ],
)
def test_functions_carry_their_text_signature_and_docstring(name, signature, doc):
    f = getattr(corbyl, name)
    assert f.__text_signature__ == signature
    assert f.__doc__ == doc
    assert f.__module__ == "corbyl"
    assert f.__name__ == name


def test_module_docstring_is_three_lines():
    assert len(corbyl.__doc__.splitlines()) == 3


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: corbyl.py_get_totals([]), "py_get_totals() missing 1 required positional argument: 'quantization'"),
        (lambda: corbyl.py_get_totals(), "py_get_totals() missing 2 required positional arguments: 'lines' and 'quantization'"),
        (
            lambda: corbyl.py_divide_amount(),
            "py_divide_amount() missing 3 required positional arguments: 'source_amount', 'divisor', and 'quantization'",
        ),
        (
            lambda: corbyl.py_divide_amount(divisor=2),
            "py_divide_amount() missing 2 required positional arguments: 'source_amount' and 'quantization'",
        ),
        (lambda: corbyl.py_get_totals([], 2, 3), "py_get_totals() takes 2 positional arguments but 3 were given"),
        (lambda: corbyl.py_tip_fee_lines({}, {}), "py_tip_fee_lines() takes 1 positional arguments but 2 were given"),
        (lambda: corbyl.py_get_totals([], lines=[]), "py_get_totals() got multiple values for argument 'lines'"),
        (lambda: corbyl.py_get_totals([], 2, bogus=1), "py_get_totals() got an unexpected keyword argument 'bogus'"),
        (
            lambda: corbyl.py_tip_fee_lines(context={}),
            "py_tip_fee_lines() got an unexpected keyword argument 'context'",
        ),
    ],
)
def test_call_shape_errors_are_worded_like_the_interpreter(call, message):
    with pytest.raises(TypeError) as e:
        call()
    assert str(e.value) == message


def test_arguments_by_keyword_in_any_order():
    assert corbyl.py_get_totals(quantization=2, lines=[]) == {"total": "0.00", "discount": "0.00", "subtotals": {}}
    assert corbyl.py_divide_amount("1.00", quantization=2, divisor=2) == ["0.50", "0.50"]


class Index:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v


@pytest.mark.parametrize("q, ok", [(True, "0.5"), (Index(1), "0.5"), (1, "0.5")])
def test_integer_like_quantizations_are_accepted(q, ok):
    assert corbyl.py_divide_amount("1", 2, q) == [ok, ok]


@pytest.mark.parametrize(
    "args, exc, argname",
    [
        (("1", 2, -1), OverflowError, None),
        (("1", 2, 2**32), OverflowError, None),
        (("1", 65536, 2), OverflowError, None),
        (("1", -1, 2), OverflowError, None),
        (("1", 2, "2"), TypeError, "quantization"),
        (("1", 2, 2.0), TypeError, "quantization"),
        (("1", "2", 2), TypeError, "divisor"),
        ((1.5, 2, 2), TypeError, "source_amount"),
        ((b"1", 2, 2), TypeError, "source_amount"),
    ],
)
def test_argument_conversion_errors(args, exc, argname):
    with pytest.raises(exc) as e:
        corbyl.py_divide_amount(*args)
    assert type(e.value) is exc
    if argname:
        assert str(e.value).startswith(f"argument '{argname}': ")
        assert e.value.__cause__ is None


NEGATIVE_UNSIGNED = "can't convert negative int to unsigned"


@pytest.mark.parametrize(
    "call, too_large, too_small",
    [
        (lambda v: corbyl.py_divide_amount("10", v, 2),
         "int too large to convert to an unsigned 16-bit integer (at most 65535)", NEGATIVE_UNSIGNED),
        (lambda v: corbyl.py_get_totals([], v),
         "int too large to convert to an unsigned 32-bit integer (at most 4294967295)", NEGATIVE_UNSIGNED),
        (lambda v: corbyl.py_get_totals([line(v, 0, "1")], 2),
         "int too large to convert to a signed 32-bit integer (at most 2147483647)",
         "int too small to convert to a signed 32-bit integer (at least -2147483648)"),
        (lambda v: corbyl.py_get_totals([line(1, 0, "1", destination_user_id=v)], 2),
         "int too large to convert to a signed 64-bit integer (at most 9223372036854775807)",
         "int too small to convert to a signed 64-bit integer (at least -9223372036854775808)"),
    ],
)
def test_an_int_out_of_range_says_which_way_it_is_out(call, too_large, too_small):
    # at the top level an OverflowError; in a record, the cause of its TypeError
    for value, message in ((2**70, too_large), (-(2**70), too_small)):
        with pytest.raises((OverflowError, TypeError)) as e:
            call(value)
        overflow = e.value if type(e.value) is OverflowError else e.value.__cause__
        assert type(overflow) is OverflowError and overflow.args == (message,)


def test_argument_errors_come_in_parameter_order():
    with pytest.raises(TypeError, match="argument 'source_amount'"):
        corbyl.py_divide_amount(1, "x", "y")
    with pytest.raises(TypeError, match="argument 'lines'"):
        corbyl.py_get_totals({}, "x")


def test_field_failure_is_wrapped_with_the_argument_and_keeps_the_chain():
    with pytest.raises(TypeError) as e:
        corbyl.py_get_totals([line(amount=5)], 2)
    assert str(e.value) == "argument 'lines': failed to extract field LineItem.amount"
    chain = cause_chain(e.value)
    assert len(chain) == 2
    assert type(chain[1]) is TypeError
    assert "str" in str(chain[1])


def test_str_subclass_is_accepted_as_text():
    class S(str):
        pass

    assert corbyl.py_divide_amount(S("1.00"), 2, 2) == ["0.50", "0.50"]


def test_module_errors_are_value_errors_with_one_argument():
    with pytest.raises(ValueError) as e:
        corbyl.py_divide_amount("1.001", 2, 2)
    assert e.value.args == ("Amount is improperly quantized. Cannot divide.",)


def test_panic_is_a_base_exception_and_the_module_keeps_working(capfd):
    overflow = [line(1, 0, "79228162514264337593543950335"), line(2, 0, "1")]
    with pytest.raises(BaseException) as e:
        try:
            corbyl.py_get_totals(overflow, 0)
        except Exception:  # must not catch it
            pytest.fail("PanicException was caught by except Exception")
    assert type(e.value).__name__ == "PanicException"
    assert type(e.value).__bases__ == (BaseException,)
    assert e.value.args == ("Addition overflowed",)
    assert isinstance(e.value, corbyl.PanicException)
    err = capfd.readouterr().err
    assert "panicked at src/" in err and "Addition overflowed" in err
    assert corbyl.py_get_totals([line(1, 0, "1")], 0)["total"] == "1"


def test_panic_exception_is_one_class_for_the_process():
    classes = set()
    for args in [("1", 3, 29), ("2", 3, 30)]:
        with pytest.raises(BaseException) as e:
            corbyl.py_divide_amount(*args)
        classes.add(type(e.value))
    assert classes == {corbyl.PanicException}


def test_only_the_init_function_is_exported():
    path = corbyl.__file__
    out = subprocess.run(["nm", "-D", "--defined-only", path], capture_output=True, text=True)
    if out.returncode != 0:
        pytest.skip("nm is not available")
    exported = [l.split()[-1] for l in out.stdout.splitlines() if l.split()[1] in "TDBR"]
    assert exported == ["PyInit_corbyl"]


def test_first_use_of_the_classes_in_a_fresh_interpreter_is_consistent():
    code = (
        "import corbyl\n"
        "ctx = {'pricing': None, 'international': False, 'quantization': 2}\n"
        "try:\n"
        "    corbyl.py_tip_fee_lines(ctx)\n"
        "except ValueError as e:\n"
        "    assert str(e) == 'Pricing not specified.'\n"
        "t = corbyl.LineType\n"
        "assert t.Tip is corbyl.LineType.Tip and t.Tip == 4\n"
        "print('ok')\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert out.stdout.strip() == "ok", out.stderr


def generated_sale_lines(**pricing_over):
    return corbyl.py_deliverable_lines(sale(table_product=True, pricing=pricing(**pricing_over)))


NOTES = [
    # (call, type, message, cause type, note, place: argument, path, line id, source)
    (lambda: corbyl.py_get_totals([line(1, 0, "1"), line(17, 0, "1", "2,5")], 2), ValueError,
     "Invalid decimal: unknown character", None, "while reading lines[1] (id 17), field 'percentage'",
     ("lines", (1, "percentage"), 17, None)),
    (lambda: corbyl.py_deliverable_lines(sale(extra_lines=[line(4, 1, "1"), line(5, 1, "1", "x")])), ValueError,
     "Invalid decimal: unknown character", None,
     "while reading provided_lines_context['extra_lines'][1] (id 5), field 'percentage'",
     ("provided_lines_context", ("extra_lines", 1, "percentage"), 5, None)),
    (lambda: corbyl.py_deliverable_lines(sale(extra_lines=[line(4, 1, "1"), line(5, 1, "1", kind=4)])), TypeError,
     "argument 'provided_lines_context': failed to extract field DeliverableLinesContext.extra_lines", TypeError,
     "while reading provided_lines_context['extra_lines'][1] (id 5), field 'kind'",
     ("provided_lines_context", ("extra_lines", 1, "kind"), 5, None)),
    (lambda: corbyl.py_deliverable_lines(sale(extra_lines=[line(4, 1, "1"), {"id": 5, "priority": 1}])), TypeError,
     "argument 'provided_lines_context': failed to extract field DeliverableLinesContext.extra_lines", KeyError,
     "while reading provided_lines_context['extra_lines'][1] (id 5), field 'kind'",
     ("provided_lines_context", ("extra_lines", 1, "kind"), 5, None)),
    (lambda: corbyl.py_get_totals([{"priority": 0}], 2), KeyError, "id", None, "while reading lines[0], field 'id'",
     ("lines", (0, "id"), None, None)),
    # an int out of range in a record: a TypeError caused by the OverflowError
    (lambda: corbyl.py_get_totals([line(1, 2**15, "1")], 2), TypeError,
     "argument 'lines': failed to extract field LineItem.priority", OverflowError,
     "while reading lines[0] (id 1), field 'priority'", ("lines", (0, "priority"), 1, None)),
    (lambda: corbyl.py_tip_fee_lines(tip(pricing=pricing(plans=[plan(max_simultaneous_orders=-1)]))), TypeError,
     "argument 'provided_lines_context': failed to extract field TipLinesContext.pricing", TypeError,
     "while reading provided_lines_context['pricing']['plans'][0], field 'max_simultaneous_orders'",
     ("provided_lines_context", ("pricing", "plans", 0, "max_simultaneous_orders"), None, None)),
    (lambda: corbyl.py_tip_fee_lines(tip(international="yes")), TypeError,
     "argument 'provided_lines_context': failed to extract field TipLinesContext.international", TypeError,
     "while reading provided_lines_context, field 'international'",
     ("provided_lines_context", ("international",), None, None)),
    (lambda: corbyl.py_tip_fee_lines(tip(international=True, pricing=pricing(international_conversion_percentage=""))),
     ValueError, "Invalid decimal: empty", None,
     "while reading provided_lines_context['pricing'], field 'international_conversion_percentage'",
     ("provided_lines_context", ("pricing", "international_conversion_percentage"), None, None)),
    (lambda: corbyl.py_tip_fee_lines(tip(pricing=None)), ValueError, "Pricing not specified.", None,
     "while reading provided_lines_context, field 'pricing'", ("provided_lines_context", ("pricing",), None, None)),
    # a pricing text that a generated line carries into the next call
    (lambda: corbyl.py_get_totals(generated_sale_lines(table_tax="8,25"), 2), ValueError,
     "Invalid decimal: unknown character", None,
     "while reading lines[2] (id -4), field 'percentage', which a generated line takes from the pricing's 'table_tax'",
     ("lines", (2, "percentage"), -4, ("pricing", "table_tax"))),
    (lambda: corbyl.py_reckon_lines([line(1, 0, "1"), line(2, 1, "1", "100", back=True)], 2), corbyl.PanicException,
     "Division by zero", None, "while computing lines[1] (id 2)", ("lines", (1,), 2, None)),
    (lambda: corbyl.py_get_totals([line(1, 0, "79228162514264337593543950335"), line(2, 0, "1")], 0),
     corbyl.PanicException, "Addition overflowed", None, "while adding up the lines of priority 0 in lines",
     ("lines", (), None, None)),
    # the top-level arguments
    (lambda: corbyl.py_divide_amount("10", 2**70, 2), OverflowError,
     "int too large to convert to an unsigned 16-bit integer (at most 65535)", None, "while reading divisor",
     ("divisor", (), None, None)),
    (lambda: corbyl.py_get_totals([], -1), OverflowError, "can't convert negative int to unsigned", None,
     "while reading quantization", ("quantization", (), None, None)),
    (lambda: corbyl.py_divide_amount(10, 3, 2), TypeError,
     "argument 'source_amount': 'int' object cannot be converted to 'str'", None, "while reading source_amount",
     ("source_amount", (), None, None)),
    (lambda: corbyl.py_divide_amount("1.005", 3, 2), ValueError, "Amount is improperly quantized. Cannot divide.",
     None, "in the argument 'source_amount'", ("source_amount", (), None, None)),
    (lambda: corbyl.py_divide_amount("10", 0, 2), ValueError, "Cannot divide by zero.", None,
     "in the argument 'divisor'", ("divisor", (), None, None)),
    (lambda: corbyl.py_get_totals([line(1, 0, "1")], 29), corbyl.PanicException,
     "Scale exceeds the maximum precision allowed: 29 > 28", None, "in the argument 'quantization'",
     ("quantization", (), None, None)),
]


@pytest.mark.parametrize("call, exc, message, cause, note, place", NOTES)
def test_errors_carry_their_place_as_attributes_and_as_a_note_and_keep_type_message_and_cause(
        call, exc, message, cause, note, place, capfd):
    with pytest.raises(BaseException) as e:
        call()
    capfd.readouterr()
    assert type(e.value) is exc and e.value.args == (message,)
    assert type(e.value.__cause__) is cause if cause else e.value.__cause__ is None
    # the same place on every CPython, as data; and on 3.11 and later as the note
    argument, path, line_id, source = place
    got = (e.value.corbyl_argument, e.value.corbyl_path, e.value.corbyl_line_id, e.value.corbyl_source)
    assert got == (argument, path, line_id, source)
    assert e.value.corbyl_field == (path[-1] if path and isinstance(path[-1], str) else None)
    assert getattr(e.value, "__notes__", None) == ([note] if sys.version_info >= (3, 11) else None)


def test_the_version_is_the_packages_and_private_names_stay_out_of_all():
    import importlib.metadata

    assert corbyl.__version__ == importlib.metadata.version("corbyl")
    assert "__version__" not in corbyl.__all__ and "_member" not in corbyl.__all__
