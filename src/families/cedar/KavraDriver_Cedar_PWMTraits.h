#pragma once

// Tag that gives KavraDriver_Cedar_PWM a Properties instantiation of its own; it holds nothing.
class KavraDriver_Cedar_PWMTraits
{ };
