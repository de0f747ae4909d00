#include "logfileio.h"

#include "logfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mainwindow {

namespace {

// Big enough that the per-chunk work (a repaint, a progress step) costs nothing
// against the conversion, small enough that a chunk takes a few milliseconds.
constexpr qint64 kChunkBytes = 1 << 20;
constexpr qsizetype kChunkLines = 16384;

// errno right after the failing call; a Qt check that fails without a system call
// leaves it at 0, and the caller's own tests say more then.
int lastErrorOr(int fallback)
{
    return errno != 0 ? errno : fallback;
}

bool report(const WorkProgress& progress, qint64 done, qint64 total)
{
    return !progress || progress(done, total);
}

} // namespace

LogRead readLogFile(const QString& path, const WorkProgress& progress, qint64 limit)
{
    LogRead result;
    if (QFileInfo(path).isDir()) {
        result.errorCode = EISDIR;
        return result;
    }
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        result.errorCode = lastErrorOr(EIO);
        return result;
    }
    // A regular file tells its size; a pipe or a device says 0 and is bounded below.
    const qint64 size = file.size();
    if (size > limit) {
        result.outcome = FileOutcome::TooLarge;
        return result;
    }

    ui::LogDecoder decoder;
    QByteArray chunk;
    qint64 done = 0;
    for (;;) {
        chunk.resize(kChunkBytes);
        errno = 0;
        const qint64 got = file.read(chunk.data(), kChunkBytes);
        if (got < 0) {
            result.errorCode = lastErrorOr(EIO);
            result.lines.clear();
            return result;
        }
        if (got == 0)
            break;
        done += got;
        if (done > limit) {
            result.outcome = FileOutcome::TooLarge;
            result.lines.clear();
            return result;
        }
        decoder.feed(QByteArrayView(chunk.constData(), got), result.lines);
        if (!report(progress, done, std::max(size, done))) {
            result.outcome = FileOutcome::Cancelled;
            result.lines.clear();
            return result;
        }
    }
    decoder.finish(result.lines);
    result.bytes = done;
    result.outcome = FileOutcome::Done;
    return result;
}

LogWrite writeLogFile(const QString& path, const QStringList& lines, const WorkProgress& progress)
{
    LogWrite result;
    // QSaveFile would refuse too, but without a system error to tell the user.
    if (QFileInfo(path).isDir()) {
        result.errorCode = EISDIR;
        return result;
    }
    QSaveFile file(path);
    errno = 0;
    // Unbuffered: a failing write reports at once, with its errno still fresh.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        result.errorCode = lastErrorOr(EIO);
        return result;
    }

    ui::LogEncoder encoder;
    QByteArray chunk;
    chunk.reserve(kChunkBytes + kChunkBytes / 4);
    const qint64 total = lines.size();
    qsizetype next = 0;
    while (next < lines.size()) {
        chunk.resize(0);
        const qsizetype end = std::min(lines.size(), next + kChunkLines);
        for (; next < end && chunk.size() < kChunkBytes; ++next)
            encoder.append(lines[next], chunk);
        errno = 0;
        if (file.write(chunk) != chunk.size()) {
            result.errorCode = lastErrorOr(EIO);
            file.cancelWriting();
            return result;
        }
        if (!report(progress, next, total)) {
            file.cancelWriting();
            result.outcome = FileOutcome::Cancelled;
            return result;
        }
    }
    errno = 0;
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
    static const QString suffix = QStringLiteral(".LogDIXW");
    if (QFileInfo(chosenPath).fileName().contains(suffix))
        return chosenPath;
    return chosenPath + suffix;
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
    case EDQUOT:
        return QStringLiteral("На диске нет места.");
    case EFBIG:
        return QStringLiteral("Файл больше, чем допускает система или диск.");
    case EROFS:
        return QStringLiteral("Диск доступен только для чтения.");
    case ENAMETOOLONG:
        return QStringLiteral("Слишком длинное имя файла.");
    case EIO:
        return QStringLiteral("Ошибка ввода-вывода на диске.");
    default:
        return QStringLiteral("Системная ошибка: %1.").arg(QString::fromLocal8Bit(std::strerror(errorCode)));
    }
}

} // namespace mainwindow
