#pragma once

#include "TestFiles.h"

#include <QList>
#include <QString>

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

// The report descriptor of a common UPS family, from tests/halvic/data/hid.
inline QByteArray familyDescriptor(const QString& family)
{
    return fromHex(testsupport::readFile(QStringLiteral(HALVIC_HID_DATA_DIR "/%1.hid").arg(family)));
}
