#include "logfileio.h"

#include "logfile.h"
#include "logstore.h"
#include "regularfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ui {

namespace {

// Big enough that the per-chunk work (a repaint, a progress step) costs nothing
// against the conversion, small enough that a chunk takes a few milliseconds.
constexpr qint64 kChunkBytes = 1 << 20;
constexpr qsizetype kChunkLines = 16384;

bool report(const WorkProgress& progress, qint64 done, qint64 total)
{
    return !progress || progress(done, total);
}

} // namespace

LogRead readLogFile(const QString& path, LogStore& lines, const WorkProgress& progress, qint64 limit)
{
    LogRead result;
    lines.clear();
    qint64 size = 0;
    ReadableFile file = openRegularFile(path, result, size);
    if (!file.isOpen())
        return result;
    if (size > limit) {
        result.outcome = FileOutcome::TooLarge;
        return result;
    }

    const auto fail = [&](FileOutcome outcome) {
        result.outcome = outcome;
        lines.clear();
        return result;
    };
    LogDecoder decoder;
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    qint64 done = 0;
    for (;;) {
        const qint64 got = file.read(chunk.data(), kChunkBytes, result.errorCode);
        if (got < 0)
            return fail(FileOutcome::Failed);
        if (got == 0)
            break;
        done += got;
        // The file may grow while it is read.
        if (done > limit)
            return fail(FileOutcome::TooLarge);
        decoder.feed(QByteArrayView(chunk.constData(), got), lines);
        if (!report(progress, done, std::max(size, done)))
            return fail(FileOutcome::Cancelled);
    }
    decoder.finish(lines);
    result.bytes = done;
    result.outcome = FileOutcome::Done;
    return result;
}

LogWrite writeLogFile(const QString& path, const LogStore& lines, const WorkProgress& progress,
                      const LineForFile& lineForFile)
{
    LogWrite result;
    if (!mayReplace(path, result))
        return result;
    QSaveFile file(path);
    clearLastError();
    // Unbuffered: a failing write reports at once, with its errno still fresh.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        result.errorCode = lastErrorOr(EIO);
        return result;
    }

    LogEncoder encoder;
    QStringDecoder fromUtf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    // One line at a time, in one buffer: a copy of a long log would outlive the save as
    // freed memory the process still holds.
    QString line;
    QByteArray chunk;
    chunk.reserve(kChunkBytes + kChunkBytes / 4);
    const qsizetype count = lines.lineCount();
    qsizetype next = 0;
    while (next < count) {
        chunk.resize(0);
        const qsizetype end = std::min(count, next + kChunkLines);
        for (; next < end && chunk.size() < kChunkBytes; ++next) {
            const QByteArrayView utf8 = lines.lineUtf8(next);
            line.resize(fromUtf8.requiredSpace(utf8.size()));
            line.truncate(fromUtf8.appendToBuffer(line.data(), utf8) - line.constData());
            if (lineForFile)
                lineForFile(line);
            encoder.append(line, chunk);
        }
        clearLastError();
        if (file.write(chunk) != chunk.size()) {
            result.errorCode = lastErrorOr(EIO);
            file.cancelWriting();
            return result;
        }
        if (!report(progress, next, count)) {
            file.cancelWriting();
            result.outcome = FileOutcome::Cancelled;
            return result;
        }
    }
    clearLastError();
    if (!file.commit()) {
        result.errorCode = lastErrorOr(EIO);
        return result;
    }
    result.substituted = encoder.substituted();
    result.outcome = FileOutcome::Done;
    return result;
}

QString withLogSuffix(const QString& chosenPath)
{
    if (QFileInfo(chosenPath).fileName().contains(kLogSuffix))
        return chosenPath;
    return chosenPath + kLogSuffix;
}

QString fileFailureReason(SpecialFile special)
{
    switch (special) {
    case SpecialFile::Pipe:
        return QStringLiteral("Это имя канала (FIFO), а не файла.");
    case SpecialFile::Socket:
        return QStringLiteral("Это имя сокета, а не файла.");
    case SpecialFile::Device:
        break;
    }
    return QStringLiteral("Это имя устройства, а не файла.");
}

QString fileFailureReason(int errorCode)
{
    switch (errorCode) {
    case EACCES:
    case EPERM:
        return QStringLiteral("Нет прав на запись или чтение в этом месте.");
    case ENOENT:
        return QStringLiteral("Такого файла или папки нет.");
    case ENOTDIR:
        return QStringLiteral("Часть пути не является папкой.");
    case EISDIR:
        return QStringLiteral("Это имя папки, а не файла.");
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return QStringLiteral("На диске нет места.");
    case EFBIG:
        return QStringLiteral("Файл больше, чем допускает система или диск.");
    case EROFS:
        return QStringLiteral("Диск доступен только для чтения.");
    case ENAMETOOLONG:
        return QStringLiteral("Слишком длинное имя файла.");
    case EIO:
        return QStringLiteral("Ошибка ввода-вывода на диске.");
    case EBUSY:
        return QStringLiteral("Файл занят другой программой.");
    default:
        return QStringLiteral("Системная ошибка: %1.").arg(QString::fromLocal8Bit(std::strerror(errorCode)));
    }
}

} // namespace ui
