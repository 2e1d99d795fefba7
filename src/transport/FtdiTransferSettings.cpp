#include "FtdiTransferSettings.h"

FtdiTransferSettings::FtdiTransferSettings() : m_latencyTimer(2), m_transferSize(0x10000) { }

const FtdiTransferSettings& FtdiTransferSettings::instance()
{
    static const FtdiTransferSettings settings;
    return settings;
}
