"""Reading sequences of line item mappings, and writing line items back."""
import collections

import numpy as np
import pytest

import corbyl
from helpers import KEYS, cause_chain, line, sale


def read(lines, q=2):
    return corbyl.py_get_totals(lines, q)


@pytest.mark.parametrize("lines", [[], (), (line(1, 0, "1"),), [line(1, 0, "1")]])
def test_lists_and_tuples_are_read(lines):
    assert read(lines)["total"] in ("0.00", "1")


class Seq(collections.abc.Sequence):
    def __init__(self, items):
        self.items = items

    def __getitem__(self, i):
        return self.items[i]

    def __len__(self):
        return len(self.items)


class Mapping(collections.abc.Mapping):
    def __init__(self, d):
        self.d = d

    def __getitem__(self, k):
        return self.d[k]

    def __iter__(self):
        return iter(self.d)

    def __len__(self):
        return len(self.d)


def test_any_sequence_of_any_mapping_is_read():
    assert read(Seq([Mapping(line(1, 0, "1.5"))]))["total"] == "1.5"


def test_extra_keys_are_ignored():
    assert read([dict(line(1, 0, "2"), extra="x")])["total"] == "2"


@pytest.mark.parametrize(
    "lines, message",
    [
        ("abc", "argument 'lines': a 'str' is not accepted as a sequence of records"),
        ({}, "argument 'lines': 'dict' object cannot be converted to 'Sequence'"),
        ({1, 2}, "argument 'lines': 'set' object cannot be converted to 'Sequence'"),
        ((x for x in []), "argument 'lines': 'generator' object cannot be converted to 'Sequence'"),
        ([1], "argument 'lines': 'int' object is not subscriptable"),
        ([None], "argument 'lines': 'NoneType' object is not subscriptable"),
    ],
)
def test_lists_that_are_refused(lines, message):
    with pytest.raises(TypeError) as e:
        read(lines)
    assert str(e.value) == message


@pytest.mark.parametrize("missing", KEYS)
def test_a_missing_key_is_the_mappings_own_key_error(missing):
    d = line(1, 0, "1")
    del d[missing]
    with pytest.raises(KeyError) as e:
        read([d])
    assert type(e.value) is KeyError and e.value.args == (missing,)


@pytest.mark.parametrize(
    "key, value, cause",
    [
        ("id", 2**31, OverflowError),
        ("id", "1", TypeError),
        ("priority", 32768, OverflowError),
        ("priority", -32769, OverflowError),
        ("priority", 1.0, TypeError),
        ("kind", 4, TypeError),
        ("kind", corbyl.Category.ShieldFee, TypeError),
        ("amount", 5, TypeError),
        ("amount", None, TypeError),
        ("description", b"x", TypeError),
        ("frozen_value", 1.5, TypeError),
        ("percentage", __import__("decimal").Decimal("1"), TypeError),
        ("category", corbyl.Account.Card, TypeError),
        ("destination_user_id", 2**63, OverflowError),
        ("destination_user_id", "7", TypeError),
        ("destination_account", 300, TypeError),
        ("back_into_percentage", 1, TypeError),
        ("back_into_percentage", 0, TypeError),
        ("back_into_percentage", None, TypeError),
    ],
)
def test_a_bad_field_names_the_record_and_key(key, value, cause):
    d = line(1, 0, "1")
    d[key] = value
    with pytest.raises(TypeError) as e:
        read([d])
    assert str(e.value) == f"argument 'lines': failed to extract field LineItem.{key}"
    chain = cause_chain(e.value)
    assert len(chain) == 2 and type(chain[1]) is cause


@pytest.mark.parametrize(
    "key, value",
    [("priority", -32768), ("priority", 32767), ("id", -(2**31)), ("destination_user_id", -(2**63)),
     ("destination_user_id", None), ("back_into_percentage", np.bool_(False)), ("back_into_percentage", np.True_)],
)
def test_edge_values_are_accepted(key, value):
    d = line(1, 0, "1")
    d[key] = value
    assert read([d])["total"] == "1"


def test_numpy_bool_is_read_through_its_truth_value():
    grossed = [line(1, 0, "10.00"), line(2, 1, "0", "10", back=np.bool_(True))]
    assert read(grossed)["total"] == "11.11"


def test_unparsable_amount_is_accepted_by_reading_and_fails_when_used():
    frozen_only = [line(1, 0, "not a number", frozen="1")]
    assert read(frozen_only)["total"] == "1"
    with pytest.raises(ValueError, match="unknown character"):
        read([line(1, 0, "not a number")])


def test_written_dicts_have_the_eleven_keys_in_order_and_read_back():
    lines = corbyl.py_deliverable_lines(sale(international=True))
    for d in lines:
        assert list(d) == KEYS
    # handing the module its own output back reads every field
    assert corbyl.py_deliverable_lines(sale(extra_lines=lines))[-len(lines):] == lines


def test_amount_texts_are_compared_exactly():
    # "1.0" and "1.00" make two different lines: both are counted
    a = line(1, 0, "1.0")
    b = line(1, 0, "1.00")
    assert read([a, b])["total"] == "2.00"
