#pragma once

// Tag that gives KavraDriver_Birch_Voltage a Properties instantiation of its own; it holds nothing.
class KavraDriver_Birch_VoltageTraits
{ };
