#include "USBISocketBinding.h"

USBISocketBinding::~USBISocketBinding() = default;
