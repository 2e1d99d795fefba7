#include "USBISocket.h"

USBISocket::~USBISocket() = default;
