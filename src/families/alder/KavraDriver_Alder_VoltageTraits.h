#pragma once

// Tag that gives KavraDriver_Alder_Voltage a Properties instantiation of its own; it holds nothing.
class KavraDriver_Alder_VoltageTraits
{ };
