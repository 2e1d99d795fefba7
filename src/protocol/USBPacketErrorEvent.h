#pragma once

#include "USBResult.h"

#include <QEvent>

// The worker's polling failed and the worker has ended.
class USBPacketErrorEvent : public QEvent
{
public:
    static constexpr QEvent::Type EventType = static_cast<QEvent::Type>(1003);

    USBPacketErrorEvent(int errorCode, const USBResult& result);
    ~USBPacketErrorEvent() override;

    int errorCode() const { return m_errorCode; }
    USBResult result() const { return m_result; }

private:
    int m_errorCode;
    USBResult m_result;
};
