#pragma once

// Tag that gives KavraDriver_Cedar_SupplyState a Properties instantiation of its own; it holds nothing.
class KavraDriver_Cedar_SupplyStateTraits
{ };
