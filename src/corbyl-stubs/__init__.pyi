"""Exact money arithmetic for marketplace bills.

Amounts and percentages are decimal text (``"2.9"`` means 2.9 %); results
are new ``dict``s, ``list``s and ``str``s.

The record types (``LineItem``, ``ServicePlan``, ``Pricing``,
``TipLinesContext``, ``DeliverableLinesContext``, ``Totals``) and
``ErrorPlace`` exist for type checking only: at run time records are plain
``dict``s, so import them under ``if TYPE_CHECKING:``.
"""

from typing import Any, ClassVar, Protocol, Sequence, TypedDict, final, type_check_only

from typing_extensions import Self

__all__ = [
    "py_get_totals",
    "py_reckon_lines",
    "py_divide_amount",
    "py_deliverable_lines",
    "py_tip_fee_lines",
    "LineType",
    "Account",
    "Category",
]

__version__: str

@final
class LineType:
    """Line item types. Line items can have different types that explain their
    purpose. Some line items are the base price of a product/deliverable,
    some are extras, and some are various fees like shield or cross-border
    transfer fees."""

    BasePrice: ClassVar[LineType]
    AddOn: ClassVar[LineType]
    Shield: ClassVar[LineType]
    Bonus: ClassVar[LineType]
    Tip: ClassVar[LineType]
    TableService: ClassVar[LineType]
    Tax: ClassVar[LineType]
    Extra: ClassVar[LineType]
    PremiumSubscription: ClassVar[LineType]
    OtherFee: ClassVar[LineType]
    DeliverableTracking: ClassVar[LineType]
    Processing: ClassVar[LineType]
    Reconciliation: ClassVar[LineType]
    CardFee: ClassVar[LineType]
    CrossBorderTransferFee: ClassVar[LineType]
    PayoutFee: ClassVar[LineType]
    ConnectFee: ClassVar[LineType]
    Bogus: ClassVar[LineType]
    def __int__(self) -> int: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __reduce__(self) -> tuple[Any, ...]: ...
    def __copy__(self) -> Self: ...
    def __deepcopy__(self, memo: Any, /) -> Self: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class Category:
    """Categories for transactions. LineItems refer to these in order to make
    bundling them and creating later transactions easier."""

    ShieldFee: ClassVar[Category]
    EscrowHold: ClassVar[Category]
    EscrowRelease: ClassVar[Category]
    EscrowRefund: ClassVar[Category]
    SubscriptionDues: ClassVar[Category]
    SubscriptionRefund: ClassVar[Category]
    CashWithdrawal: ClassVar[Category]
    ThirdPartyFee: ClassVar[Category]
    PremiumBonus: ClassVar[Category]
    InternalTransfer: ClassVar[Category]
    ThirdPartyRefunds: ClassVar[Category]
    Correction: ClassVar[Category]
    TableHandling: ClassVar[Category]
    Taxes: ClassVar[Category]
    ExtraItem: ClassVar[Category]
    VendorPayment: ClassVar[Category]
    PayoutReversal: ClassVar[Category]
    ProcessingFee: ClassVar[Category]
    TipSend: ClassVar[Category]
    Payment: ClassVar[Category]
    TopUp: ClassVar[Category]
    def __int__(self) -> int: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __reduce__(self) -> tuple[Any, ...]: ...
    def __copy__(self) -> Self: ...
    def __deepcopy__(self, memo: Any, /) -> Self: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class Account:
    """Distinct accounts that line items may deposit into."""

    Card: ClassVar[Account]
    PayoutAccount: ClassVar[Account]
    Escrow: ClassVar[Account]
    Holdings: ClassVar[Account]
    Reserve: ClassVar[Account]
    UnprocessedEarnings: ClassVar[Account]
    CardTransactionFees: ClassVar[Account]
    CardMiscFees: ClassVar[Account]
    BankTransferFees: ClassVar[Account]
    BankMiscFees: ClassVar[Account]
    MoneyHoleStage: ClassVar[Account]
    MoneyHole: ClassVar[Account]
    FraudLoss: ClassVar[Account]
    Fund: ClassVar[Account]
    PayoutExtract: ClassVar[Account]
    CashDeposit: ClassVar[Account]
    PayoutMirrorSource: ClassVar[Account]
    PayoutMirrorDestination: ClassVar[Account]
    def __int__(self) -> int: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __reduce__(self) -> tuple[Any, ...]: ...
    def __copy__(self) -> Self: ...
    def __deepcopy__(self, memo: Any, /) -> Self: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

class PanicException(BaseException):
    """Raised when an operation aborts (an arithmetic failure such as an
    overflow of the decimal range). Not caught by ``except Exception``. Each
    panic also writes two lines to standard error: the thread and the source
    place, then the message."""

@type_check_only
class ErrorPlace(Protocol):
    """Where an error of a call was. Every error raised while an argument is
    read or a result computed carries these attributes, on every CPython (on
    3.11 and later its note says the same: "while reading lines[3] (id 17),
    field 'percentage'"). For the type checker only: read them from the
    exception, e.g. ``cast("ErrorPlace", e).corbyl_path``.

    ``corbyl_path`` runs from the argument to the value, a record's field last:
    ``(3, "percentage")`` for ``lines[3]``, ``("extra_lines", 1, "kind")`` or
    ``("pricing", "plans", 0, "name")`` in a context, ``()`` for the argument
    itself. ``corbyl_priority`` is the priority whose lines were being added
    up; ``corbyl_source``, for a text of a line that a line generator makes,
    where it comes from in a line generation context: ``("pricing",
    "table_tax")``, ``("plan", "shield_static_price")`` for the chosen plan,
    ``("context", "base_price")``."""

    corbyl_argument: str
    corbyl_path: tuple[str | int, ...]
    corbyl_field: str | None
    corbyl_line_id: int | None
    corbyl_priority: int | None
    corbyl_source: tuple[str, str] | None

@type_check_only
class LineItem(TypedDict):
    """One line of a bill; every key is required (optional values are None)."""

    id: int
    priority: int
    kind: LineType
    amount: str
    description: str
    frozen_value: str | None
    percentage: str
    category: Category
    destination_user_id: int | None
    destination_account: Account
    back_into_percentage: bool

@type_check_only
class ServicePlan(TypedDict):
    id: int
    name: str
    connection_fee_waived: bool
    per_deliverable_price: str
    max_simultaneous_orders: int
    waitlisting: bool
    paypal_invoicing: bool
    shield_static_price: str
    shield_percentage_price: str

@type_check_only
class Pricing(TypedDict):
    plans: Sequence[ServicePlan]
    minimum_price: str
    table_percentage: str
    table_static: str
    table_tax: str
    processing_percentage: str
    processing_static: str
    international_conversion_percentage: str
    preferred_plan: str
    stripe_blended_rate_percentage: str
    stripe_blended_rate_static: str
    stripe_payout_cross_border_percentage: str
    stripe_active_account_monthly_fee: str
    stripe_payout_static: str
    stripe_payout_percentage: str

@type_check_only
class TipLinesContext(TypedDict):
    pricing: Pricing | None
    international: bool
    quantization: int

@type_check_only
class DeliverableLinesContext(TypedDict):
    base_price: str
    table_product: bool
    escrow_enabled: bool
    international: bool
    extra_lines: Sequence[LineItem]
    plan_name: str | None
    pricing: Pricing | None
    user_id: int
    allow_soft_failure: bool
    quantization: int

@type_check_only
class Totals(TypedDict):
    total: str
    discount: str
    subtotals: dict[int, str]

def py_get_totals(lines: Sequence[LineItem], quantization: int) -> Totals:
    """The total, the discount and one subtotal per line id; the subtotals add
    up exactly to the total."""

def py_reckon_lines(lines: Sequence[LineItem], quantization: int) -> str:
    """The total of the lines alone, printed in full."""

def py_divide_amount(source_amount: str, divisor: int, quantization: int) -> list[str]:
    """`divisor` parts (1 to 65535) of whole quanta, differing by at most one
    quantum, that add up exactly to the amount; the leftover quanta go to the
    first parts."""

def py_deliverable_lines(provided_lines_context: DeliverableLinesContext) -> list[LineItem]:
    """Python binding for deliverable_lines"""

def py_tip_fee_lines(provided_lines_context: TipLinesContext) -> list[LineItem]:
    """Python binding for tip_fee_lines"""
