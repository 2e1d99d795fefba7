#pragma once

// Tag that gives KavraDriver_Generic_Voltage a Properties instantiation of its own; it holds nothing.
class KavraDriver_Generic_VoltageTraits
{ };
