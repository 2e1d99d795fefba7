#include "USBPacketErrorEvent.h"

USBPacketErrorEvent::USBPacketErrorEvent(int errorCode, const USBResult& result)
    : QEvent(EventType), m_errorCode(errorCode), m_result(result)
{ }

USBPacketErrorEvent::~USBPacketErrorEvent() = default;
