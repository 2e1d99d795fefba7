#include "USBIProtocolObserver.h"

USBIProtocolObserver::~USBIProtocolObserver() = default;
