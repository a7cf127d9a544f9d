// Finding records in a journal's bytes, to damage one on purpose.
#pragma once

#include "core/journal.h"

#include <QByteArray>

namespace potencor::test {

// Where the n-th point's record starts (n from 0): frames of a length, a
// checksum, a type and a body follow the header.
inline qsizetype pointRecordAt(const QByteArray& bytes, int n)
{
    qsizetype at = static_cast<qsizetype>(journal::header().size());
    while (at + 9 <= bytes.size()) {
        const quint32 length = static_cast<quint8>(bytes[at]) | static_cast<quint8>(bytes[at + 1]) << 8
            | static_cast<quint8>(bytes[at + 2]) << 16 | static_cast<quint32>(static_cast<quint8>(bytes[at + 3])) << 24;
        if (bytes[at + 8] == 3 && n-- == 0)
            return at;
        at += 9 + length;
    }
    return -1;
}

} // namespace potencor::test
