#include "FirmwareFactory.h"

#include "AlderUnit.h"
#include "BirchUnit.h"
#include "CedarUnit.h"
#include "FirmwareUnit.h"
#include "GenericUnit.h"
#include "RowanUnit.h"

std::unique_ptr<SimUnit> FirmwareFactory::create(const QJsonObject& config)
{
    // The model comes from the serial number, as the host decides it: product in characters
    // 5 to 7, revision in characters 8 and 9.
    const QString serial = config.value(QStringLiteral("serial")).toString();
    bool productOk = false;
    bool revisionOk = false;
    const int product = serial.mid(4, 3).toInt(&productOk, 10);
    const int revision = serial.mid(7, 2).toInt(&revisionOk, 10);
    if (serial.size() >= 9 && productOk && revisionOk && revision == 1) {
        switch (product) {
        case 15:
            return std::make_unique<AlderUnit>(config);
        case 17:
            return std::make_unique<CedarUnit>(config);
        case 19:
        case 25:
            return std::make_unique<GenericUnit>(config);
        case 40:
            return std::make_unique<BirchUnit>(config);
        case 41:
            return std::make_unique<RowanUnit>(config);
        default:
            break;
        }
    }
    return std::make_unique<FirmwareUnit>(
        config, QStringLiteral("none"), QList<int>{1, 1, 0, 0, 0});
}
