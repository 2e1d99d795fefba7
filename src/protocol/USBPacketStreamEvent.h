#pragma once

#include "USBResult.h"

#include <QByteArray>
#include <QEvent>

// An unsolicited packet, posted to the stream receiver registered for its id.
class USBPacketStreamEvent : public QEvent
{
public:
    static constexpr QEvent::Type EventType = static_cast<QEvent::Type>(1001);

    USBPacketStreamEvent(int id, const QByteArray& data, const USBResult& result);
    ~USBPacketStreamEvent() override;

    int id() const { return m_id; }
    QByteArray data() const { return m_data; }
    USBResult result() const { return m_result; }

private:
    int m_id;
    QByteArray m_data;
    USBResult m_result;
};
