#pragma once

#include "FtdiD2xx.h"

#include <QString>

#include <cstdint>
#include <cstring>

// One D2XX device-list entry as enumeration keeps it, with its position in the list (the index
// FT_Open takes).
struct DeviceListRecord
{
    FT_DEVICE_LIST_INFO_NODE node;
    uint32_t position;

    // The node's texts are fixed-size fields that need not be terminated.
    QString serialNumber() const { return fieldText(node.SerialNumber, sizeof(node.SerialNumber)); }
    QString description() const { return fieldText(node.Description, sizeof(node.Description)); }

    static QString fieldText(const char* field, std::size_t size)
    {
        std::size_t length = 0;
        while (length < size && field[length] != '\0')
            ++length;
        return QString::fromLatin1(field, static_cast<int>(length));
    }
};
