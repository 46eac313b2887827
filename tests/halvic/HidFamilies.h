#pragma once

#include "TestFiles.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <utility>

// Hex bytes as the descriptor files write them: spaced, over lines, '#' starting a comment.
inline QByteArray fromHex(const QByteArray& text)
{
    QByteArray hex;
    for (const QByteArray& line : text.split('\n')) {
        const qsizetype comment = line.indexOf('#');
        hex += comment < 0 ? line : line.left(comment);
    }
    return QByteArray::fromHex(hex);
}

// The report descriptors of real devices in tests/halvic/data/hid, each file with its origin, and
// the USB IDs the device has.
struct CorpusDevice
{
    const char* family;
    const char* ids;
};

inline const QList<CorpusDevice>& corpusDevices()
{
    static const QList<CorpusDevice> devices = {
        {"apc-back-ups-500", "051d 0002"},
        {"apc-back-ups-rs-1000g", "051d 0002"},
        {"apc-smart-ups-3000", "051d 0003"},
        {"cyberpower-cp1500pfclcd", "0764 0501"},
        {"cyberpower-ec850lcd", "0764 0501"},
        {"cyberpower-or600erm1u", "0764 0601"},
        {"eaton-protection-station", "0463 ffff"},
        {"legrand-ups", "1cb0 0032"},
        {"liebert-gxt5", "10af 1000"},
        {"liebert-psa5", "10af 0002"},
        {"minuteman-ups", "05dd a0a0"},
        {"powercom-hid-ups-battery", "0d9f 0004"},
        {"powerwalker-vi-1200-shl", "06da ffff"},
        {"salicru-slc-twin-pro2", "2e66 0201"},
        {"tripplite-3016", "09ae 3016"},
    };
    return devices;
}

// The USB vendor and product IDs of a corpus device; 0, 0 for a family not in the corpus.
inline std::pair<uint16_t, uint16_t> corpusDeviceIds(const QString& family)
{
    for (const CorpusDevice& device : corpusDevices()) {
        if (family == QLatin1String(device.family)) {
            const QList<QByteArray> ids = QByteArray(device.ids).split(' ');
            return {uint16_t(ids[0].toUInt(nullptr, 16)), uint16_t(ids[1].toUInt(nullptr, 16))};
        }
    }
    return {0, 0};
}

// The report descriptor of a UPS family, from tests/halvic/data/hid.
inline QByteArray familyDescriptor(const QString& family)
{
    return fromHex(testsupport::readFile(QStringLiteral(HALVIC_HID_DATA_DIR "/%1.hid").arg(family)));
}
