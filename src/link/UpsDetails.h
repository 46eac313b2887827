#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace brevant {

// What a UPS knows besides its state, as its link last read it; each value only when the UPS gave
// it. A serial contact-closure UPS knows none of it.
struct UpsDetails
{
    std::optional<double> chargePercent;
    std::optional<double> runtimeSeconds;
    std::optional<double> loadPercent;
    std::optional<double> inputVolts;
    std::optional<double> outputVolts;
    QString manufacturer;
    QString model;
    QString serial;
    // Whether the library could switch the UPS off now, as it says without trying; with No, its
    // reason.
    enum class UpsOff
    {
        Unknown, // the library cannot tell, or is too old to say
        Yes,
        No,
        Secondary // another computer switches the shared UPS off
    };
    UpsOff upsOff = UpsOff::Unknown;
    QString upsOffReason;

    bool operator==(const UpsDetails&) const = default;
    bool isEmpty() const { return *this == UpsDetails{}; }

    // Lines "name value" in Network UPS Tools' vocabulary (the Halvic library's values), and the
    // library's UPS-off lines. Unknown names, lines without a value, numbers that do not read (or
    // are negative, or a charge above 100 %) and an unknown UPS-off answer are skipped; the rest
    // is kept.
    static UpsDetails parse(const QByteArray& lines);

    // "about 23 min", "less than 1 min"; empty without a runtime.
    QString runtimeText() const;
    // "87 %, about 23 min left", "87 %", "about 23 min left"; empty when neither is known.
    QString batteryText() const;
};

} // namespace brevant
