#pragma once

// Tag that gives KavraDriver_Generic_Polarity a Properties instantiation of its own; it holds nothing.
class KavraDriver_Generic_PolarityTraits
{ };
