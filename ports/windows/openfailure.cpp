// The Russian line under a failed open, in what Windows can tell: it names no program
// that holds a port, and access to a port is no matter of groups.

#include "openfailure.h"

#include "commerror.h"

namespace ports {

QString openFailureDetail(commport::CommErrorKind kind, const QString&)
{
    using commport::CommErrorKind;
    switch (kind) {
    case CommErrorKind::AccessDenied:
    case CommErrorKind::Busy:
        // Windows refuses a port another program holds as "access denied", and does not say
        // which program that is.
        return QStringLiteral("Порт занят другой программой (Windows не сообщает, какой). Закройте её и "
                              "откройте порт снова.");
    case CommErrorKind::NotAPort:
        return QStringLiteral("Это устройство — не последовательный порт. Выберите другой порт.");
    case CommErrorKind::NotFound:
        return QStringLiteral("Такого порта нет: проверьте, что адаптер подключён (Диспетчер устройств, "
                              "«Порты (COM и LPT)»), и выберите другой порт.");
    default:
        return {};
    }
}

QString failureText(const std::exception& error, const QString& device)
{
    QString text = QString::fromLocal8Bit(error.what());
    if (const auto* comm = dynamic_cast<const commport::ECommError*>(&error)) {
        if (!device.isEmpty())
            text += u'\n' + device;
        const QString detail = openFailureDetail(comm->Kind);
        if (!detail.isEmpty())
            text += u'\n' + detail;
    }
    return text;
}

} // namespace ports
