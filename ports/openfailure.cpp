#include "openfailure.h"

#include "portholder.h"

#include <QFile>

#include <grp.h>
#include <sys/stat.h>

namespace ports {

namespace {

struct Access {
    bool known = false;   // the device could be looked at
    QString groupName;    // its group, when that group may read and write it
};

// Serial ports here belong to dialout with read and write for the group, but a udev rule can
// give a port another group, and a pty of someone else's session grants its group no reading
// at all; joining a group is good advice only where the group could open the device.
Access deviceAccess(const QString& devicePath)
{
    Access access;
    struct stat status {};
    if (devicePath.isEmpty() || ::stat(QFile::encodeName(devicePath).constData(), &status) != 0)
        return access;
    access.known = true;
    if ((status.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP) || status.st_gid == 0)
        return access;
    group entry {};
    group* found = nullptr;
    char buffer[4096];
    if (::getgrgid_r(status.st_gid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        access.groupName = QString::fromLocal8Bit(found->gr_name);
    return access;
}

} // namespace

QString openFailureDetail(commport::CommErrorKind kind, const QString& devicePath)
{
    using commport::CommErrorKind;
    switch (kind) {
    case CommErrorKind::AccessDenied: {
        const Access access = deviceAccess(devicePath);
        if (access.known && access.groupName.isEmpty())
            return QStringLiteral("Нет доступа к порту: у пользователя нет прав на это устройство.");
        const QString groupName = access.known ? access.groupName : QStringLiteral("dialout");
        return QStringLiteral("Нет доступа к порту: пользователь не входит в группу %1. "
                              "Добавьте его в группу (sudo usermod -aG %1 <имя>) и войдите "
                              "в систему заново.")
            .arg(groupName);
    }
    case CommErrorKind::Busy: {
        const QString holders = holdersText(portHolders(devicePath));
        if (holders.isEmpty())
            return QStringLiteral("Порт занят другой программой. Закройте её и откройте порт снова.");
        return QStringLiteral("Порт занят другой программой: %1. Закройте её и откройте порт снова.").arg(holders);
    }
    case CommErrorKind::SystemConsole:
        return QStringLiteral("Порт занят системой: это консоль, на которую пишет ядро (на ней может "
                              "работать и вход в систему). Выберите другой порт.");
    case CommErrorKind::NotAPort:
        return QStringLiteral("Это устройство — не последовательный порт. Выберите другой порт.");
    case CommErrorKind::NotFound:
        return QStringLiteral("Такого устройства нет: проверьте, что адаптер подключён, "
                              "и выберите другой порт.");
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
        const qsizetype pathStart = device.indexOf(u'/');
        const QString detail = openFailureDetail(comm->Kind, pathStart >= 0 ? device.mid(pathStart) : QString());
        if (!detail.isEmpty())
            text += u'\n' + detail;
    }
    return text;
}

} // namespace ports
