#pragma once

// Tag that gives KavraDriver_Alder_UserData a Properties instantiation of its own; it holds nothing.
class KavraDriver_Alder_UserDataTraits
{ };
