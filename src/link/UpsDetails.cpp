#include "link/UpsDetails.h"

#include <QList>
#include <cmath>
#include <halvic/Halvic.h>

namespace brevant {

namespace {

std::optional<double> number(const QByteArray& text, double limit)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0 || value > limit)
        return std::nullopt;
    return value;
}

UpsDetails::UpsOff upsOffFrom(const QByteArray& answer)
{
    if (answer == HALVIC_UPS_OFF_YES)
        return UpsDetails::UpsOff::Yes;
    if (answer == HALVIC_UPS_OFF_NO)
        return UpsDetails::UpsOff::No;
    if (answer == HALVIC_UPS_OFF_SECONDARY)
        return UpsDetails::UpsOff::Secondary;
    return UpsDetails::UpsOff::Unknown;
}

} // namespace

UpsDetails UpsDetails::parse(const QByteArray& lines)
{
    constexpr double Unlimited = HUGE_VAL;
    UpsDetails details;
    for (QByteArray line : lines.split('\n')) {
        line = line.trimmed();
        const qsizetype space = line.indexOf(' ');
        if (space <= 0)
            continue;
        const QByteArray name = line.first(space);
        const QByteArray value = line.sliced(space + 1).trimmed();
        if (value.isEmpty())
            continue;
        if (name == "battery.charge")
            details.chargePercent = number(value, 100);
        else if (name == "battery.runtime")
            details.runtimeSeconds = number(value, Unlimited);
        else if (name == "ups.load")
            details.loadPercent = number(value, Unlimited); // an overloaded UPS reports above 100
        else if (name == "input.voltage")
            details.inputVolts = number(value, Unlimited);
        else if (name == "output.voltage")
            details.outputVolts = number(value, Unlimited);
        else if (name == "device.mfr")
            details.manufacturer = QString::fromUtf8(value);
        else if (name == "device.model")
            details.model = QString::fromUtf8(value);
        else if (name == "device.serial")
            details.serial = QString::fromUtf8(value);
        else if (name == HALVIC_VALUE_UPS_OFF)
            details.upsOff = upsOffFrom(value);
        else if (name == HALVIC_VALUE_UPS_OFF_REASON)
            details.upsOffReason = QString::fromUtf8(value);
    }
    return details;
}

QString UpsDetails::runtimeText() const
{
    if (!runtimeSeconds)
        return {};
    const qint64 minutes = qRound64(*runtimeSeconds / 60);
    return minutes < 1 ? QStringLiteral("less than 1 min") : QStringLiteral("about %1 min").arg(minutes);
}

QString UpsDetails::batteryText() const
{
    QStringList parts;
    if (chargePercent)
        parts.append(QStringLiteral("%1 %").arg(qRound(*chargePercent)));
    if (runtimeSeconds)
        parts.append(runtimeText() + QStringLiteral(" left"));
    return parts.join(QStringLiteral(", "));
}

} // namespace brevant
