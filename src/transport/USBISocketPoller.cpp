#include "USBISocketPoller.h"

USBISocketPoller::~USBISocketPoller() = default;
