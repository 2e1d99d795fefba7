#include "SimUnit.h"

#include <QJsonArray>

namespace {

// Placeholder unit until the firmware families land: accepts everything, answers nothing.
class SilentUnit final : public SimUnit
{
public:
    explicit SilentUnit(const QJsonObject& config) : m_serial(config.value(QStringLiteral("serial")).toString()) {}

    QList<QByteArray> receive(int, const QByteArray&) override { return {}; }
    void setStatusOverride(int, int) override {}
    QJsonObject state() const override { return QJsonObject{{QStringLiteral("serial"), m_serial}}; }
    QString serialNumber() const override { return m_serial; }

private:
    QString m_serial;
};

} // namespace

std::unique_ptr<SimUnit> SimUnit::create(const QJsonObject& config)
{
    return std::make_unique<SilentUnit>(config);
}
