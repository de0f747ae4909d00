#pragma once
// A family's decoder fed the frames of a line as a test writes them: "A 60 01 81 *" is a
// frame A sent, as frame text (a "*" stands for the checksum of what comes before it);
// each frame's description in turn. Header only: the decoder tests of every family
// include it, with no library of the tests' own.

#include "framedecoder.h"
#include "frametext.h"

#include <QStringList>

namespace qldixw::testing {

inline QStringList heardFrames(linecapture::FrameDecoder& decoder, const QStringList& frames)
{
    QStringList described;
    for (const QString& frame : frames) {
        const linecapture::Side side = frame.startsWith(u'A') ? linecapture::Side::A : linecapture::Side::B;
        const QByteArray bytes = transport::lineBytesOfText(frame.mid(2)).value_or(QByteArray());
        described << decoder.describe(side, {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())});
    }
    return described;
}

} // namespace qldixw::testing
