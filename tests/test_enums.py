"""LineType, Category and Account: values, representation, equality rules,
one shared instance per variant."""
import pytest

import corbyl
from corbyl import Account, Category, LineType
from helpers import pricing, sale, tip

LINE_TYPES = {
    "BasePrice": 0, "AddOn": 1, "Shield": 2, "Bonus": 3, "Tip": 4, "TableService": 5, "Tax": 6,
    "Extra": 7, "PremiumSubscription": 8, "OtherFee": 9, "DeliverableTracking": 10, "Processing": 11,
    "Reconciliation": 12, "CardFee": 13, "CrossBorderTransferFee": 14, "PayoutFee": 15,
    "ConnectFee": 16, "Bogus": 1234,
}
CATEGORIES = {
    "ShieldFee": 400, "EscrowHold": 401, "EscrowRelease": 402, "EscrowRefund": 403,
    "SubscriptionDues": 404, "SubscriptionRefund": 405, "CashWithdrawal": 406, "ThirdPartyFee": 408,
    "PremiumBonus": 409, "InternalTransfer": 410, "ThirdPartyRefunds": 411, "Correction": 412,
    "TableHandling": 413, "Taxes": 414, "ExtraItem": 415, "VendorPayment": 416, "PayoutReversal": 417,
    "ProcessingFee": 418, "TipSend": 419, "Payment": 420, "TopUp": 421,
}
ACCOUNTS = {
    "Card": 300, "PayoutAccount": 301, "Escrow": 302, "Holdings": 303, "Reserve": 304,
    "UnprocessedEarnings": 305, "CardTransactionFees": 306, "CardMiscFees": 307, "BankTransferFees": 308,
    "BankMiscFees": 309, "MoneyHoleStage": 310, "MoneyHole": 311, "FraudLoss": 312, "Fund": 313,
    "PayoutExtract": 314, "CashDeposit": 407, "PayoutMirrorSource": 500, "PayoutMirrorDestination": 501,
}
TABLES = [(LineType, LINE_TYPES), (Category, CATEGORIES), (Account, ACCOUNTS)]


@pytest.mark.parametrize("cls, table", TABLES)
def test_every_variant_has_its_value_and_representation(cls, table):
    members = [k for k, v in vars(cls).items() if isinstance(v, cls)]
    assert members == list(table)
    for name, value in table.items():
        m = getattr(cls, name)
        assert int(m) == value
        assert repr(m) == str(m) == f"{cls.__name__}.{name}"
        assert m == value and value == m
        assert m is getattr(cls, name)


@pytest.mark.parametrize("cls", [LineType, Category, Account])
def test_class_identity_and_names(cls):
    assert cls.__module__ == "builtins"
    assert cls.__qualname__ == cls.__name__
    assert getattr(corbyl, cls.__name__) is cls


def test_docstrings():
    assert LineType.__doc__.startswith("Line item types. Line items can have different types that explain their\n")
    assert LineType.__doc__.endswith("transfer fees.")
    assert Category.__doc__ == (
        "Categories for transactions. LineItems refer to these in order to make\n"
        "bundling them and creating later transactions easier."
    )
    assert Account.__doc__ == "Distinct accounts that line items may deposit into."


class Idx:
    def __index__(self):
        return 4


class BadIdx:
    def __index__(self):
        raise RuntimeError("no")


@pytest.mark.parametrize(
    "other, equal",
    [
        (4, True), (True, False), (Idx(), True), (4.0, False), ("4", False), (65536 + 4, False),
        (-4, False), (BadIdx(), False), (None, False), (LineType.Tip, True), (LineType.Bonus, False),
        (Category.ShieldFee, False), (2**70, False),
    ],
)
def test_equality_rules(other, equal):
    assert (LineType.Tip == other) is equal
    assert (LineType.Tip != other) is (not equal)


def test_booleans_are_integers_and_members_of_other_classes_never_equal():
    assert LineType.AddOn == True  # noqa: E712
    assert LineType.BasePrice == False  # noqa: E712
    assert Account.CashDeposit == 407
    assert all(int(getattr(Category, n)) != 407 for n in CATEGORIES)
    # same value 400-ish ranges never meet across classes
    assert Category.ShieldFee != Account.Card and not (Category.ShieldFee == Account.Card)


@pytest.mark.parametrize(
    "action",
    [
        lambda: LineType.Tip < LineType.Bonus,
        lambda: LineType.Tip >= 3,
        lambda: hash(LineType.Tip),
        lambda: {Category.TopUp},
        lambda: LineType(),
        lambda: LineType(4),
        lambda: type("Sub", (LineType,), {}),
    ],
)
def test_no_ordering_hash_instantiation_or_subclassing(action):
    with pytest.raises(TypeError):
        action()


def test_members_in_results_are_the_shared_instances():
    lines = corbyl.py_deliverable_lines(sale(international=True)) + corbyl.py_tip_fee_lines(tip(international=True))
    seen = 0
    for d in lines:
        for key, cls in (("kind", LineType), ("category", Category), ("destination_account", Account)):
            m = d[key]
            assert getattr(cls, repr(m).split(".")[1]) is m
            seen += 1
    assert seen == 3 * len(lines) > 0


def test_interpreter_messages_use_the_bare_class_name():
    with pytest.raises(TypeError, match="unhashable type: 'LineType'"):
        hash(LineType.Tip)
    with pytest.raises(TypeError, match="cannot create 'Account' instances"):
        Account()
    assert repr(Category) == "<class 'Category'>"


def test_attributes_cannot_be_replaced():
    with pytest.raises(TypeError):
        LineType.Tip = 5
    assert int(LineType.Tip) == 4


def test_members_travel_by_copy_and_pickle_as_the_shared_instances():
    import copy
    import pickle

    for cls, table in TABLES:
        for name in table:
            m = getattr(cls, name)
            assert copy.copy(m) is m and copy.deepcopy(m) is m
            for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
                assert pickle.loads(pickle.dumps(m, protocol)) is m
    lines = corbyl.py_deliverable_lines(sale(international=True))
    assert copy.deepcopy(lines) == lines
    assert [l["kind"] for l in pickle.loads(pickle.dumps(lines))] == [l["kind"] for l in lines]


def test_line_dicts_and_results_cross_to_worker_processes():
    from concurrent.futures import ProcessPoolExecutor

    bills = [corbyl.py_deliverable_lines(sale(base_price=f"{n}.00", international=n % 2 == 0)) for n in range(1, 7)]
    with ProcessPoolExecutor(max_workers=2) as pool:
        remote = list(pool.map(corbyl.py_get_totals, bills, [2] * len(bills)))
        echoed = list(pool.map(tuple, bills))  # the lines themselves come back
    assert remote == [corbyl.py_get_totals(b, 2) for b in bills]
    assert [list(e) for e in echoed] == bills
    assert all(a["kind"] is b["kind"] for e, bill in zip(echoed, bills) for a, b in zip(e, bill))
