"""Typed results: unit listing entries, models, families and status readings."""

from __future__ import annotations

import enum
from typing import NamedTuple


class Family(str, enum.Enum):
    """The instruction family of a unit, which decides the operations it supports. The library
    decides a unit's family; these are the names it gives."""

    ALDER = "Alder"
    BIRCH = "Birch"
    CEDAR = "Cedar"
    GENERIC = "Generic"
    ROWAN = "Rowan"

    def __str__(self) -> str:
        return self.value


class DriverLibrary(NamedTuple):
    """The D2XX library the library uses: whether it is loaded, and its account of it
    ("loaded PATH, version VERSION" or "not loaded: tried NAME: REASON")."""

    loaded: bool
    info: str


class Model(NamedTuple):
    """A unit's model: product and revision numbers, carried by its serial number."""

    product: int
    revision: int

    def __str__(self) -> str:
        return f"{self.product}/{self.revision}"


def model_of(serial: str) -> Model | None:
    """The model a serial number carries: product in characters 5 to 7, revision in 8 and 9.

    Returns None when those characters are not digits.
    """
    product, revision = serial[4:7], serial[7:9]
    if len(product) == 3 and len(revision) == 2 and (product + revision).isdigit():
        return Model(int(product), int(revision))
    return None


def family_named(name: str) -> Family | str | None:
    """The family the library names: a :class:`Family`, the plain name for a family this package
    does not list yet, or None for the empty name of a model without a family."""
    if not name:
        return None
    try:
        return Family(name)
    except ValueError:
        return name


class UnitInfo(NamedTuple):
    """One attached unit as the listing shows it, without opening it: the serial number and the
    model it carries, and the library's account of the model's family, outputs and operations."""

    index: int
    serial: str
    model: Model | None
    family: Family | str | None
    #: Outputs that the channel arguments accept, numbered from 1.
    channel_count: int = 0
    #: Names of the library functions the unit supports (``"setVoltage"``, ...).
    operations: frozenset[str] = frozenset()


class SupplyStatus(NamedTuple):
    """A unit's supply status: whether it reports an error, and its status text."""

    flag: bool
    text: str


class ChannelStatus(NamedTuple):
    """The two status flags of an output channel.

    Their meaning depends on the family: for Alder and Generic units ``first`` is the output
    switched on and ``second`` current limiting; for Cedar units ``first`` is the output switched
    on and ``second`` the output delivering its voltage.
    """

    first: bool
    second: bool
