"""Typed results: unit listing entries, models, families and status readings."""

from __future__ import annotations

import enum
from typing import NamedTuple


class Family(str, enum.Enum):
    """The instruction family of a unit, which decides the operations it supports."""

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


_FAMILIES: dict[Model, Family] = {
    Model(15, 1): Family.ALDER,
    Model(17, 1): Family.CEDAR,
    Model(19, 1): Family.GENERIC,
    Model(25, 1): Family.GENERIC,
    Model(40, 1): Family.BIRCH,
    Model(41, 1): Family.ROWAN,
}


def family_of(model: Model) -> Family | None:
    """The family of a model, or None for a model without one (such as 39/1)."""
    return _FAMILIES.get(model)


def model_of(serial: str) -> Model | None:
    """The model a serial number carries: product in characters 5 to 7, revision in 8 and 9.

    Returns None when those characters are not digits.
    """
    product, revision = serial[4:7], serial[7:9]
    if len(product) == 3 and len(revision) == 2 and (product + revision).isdigit():
        return Model(int(product), int(revision))
    return None


class UnitInfo(NamedTuple):
    """One attached unit as the listing shows it, without opening it."""

    index: int
    serial: str
    model: Model | None
    family: Family | None

    @classmethod
    def from_serial(cls, index: int, serial: str) -> UnitInfo:
        """The entry for the unit with this serial number at this device index."""
        model = model_of(serial)
        return cls(index, serial, model, family_of(model) if model else None)


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
