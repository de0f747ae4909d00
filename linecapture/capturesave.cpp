#include "capturesave.h"

#include "capturefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace linecapture {

QString withCaptureSuffix(const QString& chosenPath)
{
    return QFileInfo(chosenPath).fileName().contains(kCaptureSuffix) ? chosenPath : chosenPath + kCaptureSuffix;
}

QString saveCapture(const Capture& capture, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !writeCapture(capture, file) || !file.commit())
        return file.errorString();
    return QString();
}

QString saveCaptureCopy(const QString& source, const Capture& header, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return QStringLiteral("%1: %2").arg(source, in.errorString());
    QByteArray piece = captureHeaderText(header);
    bool written = true;
    const CaptureStreamReading reading = readCaptureStream(
        in, [&](const CaptureReader& reader) { appendRecordText(*reader.record(), piece); },
        [&](qint64) {
            written = file.write(piece) == piece.size();
            piece.clear();
            return written;
        });
    if (!reading.error.isEmpty()) {
        file.cancelWriting();
        return QStringLiteral("%1, строка %2: %3").arg(source).arg(reading.errorLine).arg(reading.error);
    }
    if (!written || file.write(piece) != piece.size() || !file.commit()) {
        file.cancelWriting();
        return file.errorString();
    }
    return QString();
}

} // namespace linecapture
