#pragma once

#include "USBICommRequest.h"
#include "USBResult.h"

#include <QEvent>

#include <memory>

// A queued request has finished; carries its result, failures included.
class USBRequestEvent : public QEvent
{
public:
    static constexpr QEvent::Type EventType = static_cast<QEvent::Type>(1002);

    USBRequestEvent(std::shared_ptr<USBICommRequest> request, const USBResult& result);
    ~USBRequestEvent() override;

    std::shared_ptr<USBICommRequest> request() const { return m_request; }
    USBResult result() const { return m_result; }

private:
    std::shared_ptr<USBICommRequest> m_request;
    USBResult m_result;
};
