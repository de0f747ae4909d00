#include "networktexts.h"

#include "net/netconnection.h"

#include <cerrno>

namespace portsession {

using commport::net::NameFault;

bool isNetworkName(const QString& name)
{
    return commport::net::IsNetworkName(name.toStdString());
}

QString invalidNetworkNameText(const QString& name, NameFault fault)
{
    QString why;
    switch (fault) {
    case NameFault::NoSlashes: why = QStringLiteral("после «rfc2217:» или «tcp:» нужны две косые черты"); break;
    case NameFault::NoHost: why = QStringLiteral("не указан узел"); break;
    case NameFault::BadHost:
        why = QStringLiteral("узел — не адрес IPv4, не адрес IPv6 в квадратных скобках и не имя узла");
        break;
    case NameFault::NoPort: why = QStringLiteral("не указан порт"); break;
    case NameFault::BadPort: why = QStringLiteral("порт — не число от 1 до 65535"); break;
    case NameFault::Trailing: why = QStringLiteral("после порта ничего быть не должно"); break;
    case NameFault::UserInfo: why = QStringLiteral("имя пользователя в адресе не нужно"); break;
    case NameFault::None: break;
    }
    return QStringLiteral("«%1» — не адрес сетевого порта: %2. Пишите rfc2217://узел:порт (настройки линии "
                          "передаются серверу) или tcp://узел:порт (простой канал), адрес IPv6 — в квадратных "
                          "скобках: rfc2217://[::1]:4001. Ничего не открыто.")
        .arg(name, why);
}

namespace {

QString hostOf(const QString& name)
{
    const std::optional<commport::net::NetworkName> parsed = commport::net::ParseNetworkName(name.toStdString());
    return parsed ? QString::fromStdString(parsed->host) : name;
}

QString detail(const QString& name, const commport::backend::SystemError& error)
{
    using commport::CommErrorKind;
    const std::optional<commport::net::NetworkName> parsed = commport::net::ParseNetworkName(name.toStdString());
    const QString host = hostOf(name);
    const QString port = parsed ? QString::number(parsed->port) : QString();
    if (error.kind == CommErrorKind::NotAPort)
        return QStringLiteral("Сервер не поддерживает настройку линии (RFC 2217). Если настройки не нужны, "
                              "откройте его как tcp://%1:%2 — тогда скорость и формат задаёт сам сервер.")
            .arg(parsed && parsed->host.find(':') != std::string::npos ? u'[' + host + u']' : host, port);
    switch (error.code) {
    case ECONNREFUSED:
        return QStringLiteral("На узле %1 порт %2 никто не слушает: проверьте адрес, порт и что сервер "
                              "последовательных портов (например, ser2net) запущен.")
            .arg(host, port);
    case ETIMEDOUT:
        return QStringLiteral("Сервер %1 не ответил за %2 с: проверьте адрес и сеть.")
            .arg(host)
            .arg(commport::net::kConnectTimeout.count() / 1000);
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN:
        return QStringLiteral("Узел %1 недоступен: проверьте сеть.").arg(host);
    case ECONNRESET:
    case EPIPE:
        return QStringLiteral("Сервер закрыл соединение: порт, возможно, занят другим клиентом или устройство "
                              "за сервером не открылось.");
    default:
        break;
    }
    // The resolver's codes are negative, the system's positive.
    if (error.kind == CommErrorKind::NotFound && error.code < -1)
        return QStringLiteral("Имя узла «%1» не найдено.").arg(host);
    return {};
}

void appendLine(QString& text, const QString& line)
{
    if (!line.isEmpty())
        text += u'\n' + line;
}

} // namespace

QString connectFailureText(const QString& name, const commport::backend::SystemError& error)
{
    QString text = QString::fromStdString(commport::CommErrorMessage(commport::kErrAccessDevice, error.code));
    appendLine(text, name);
    appendLine(text, QString::fromStdString(error.text));
    appendLine(text, detail(name, error));
    return text;
}

QString networkOpenFailureText(const std::exception& error, const QString& name,
                               const commport::TCommLastError& lastError)
{
    QString text = QString::fromLocal8Bit(error.what());
    appendLine(text, name);
    const QString said = QString::fromStdString(lastError.Message);
    if (!said.isEmpty() && !text.contains(said))
        appendLine(text, said);
    appendLine(text, detail(name, commport::backend::SystemError{lastError.Kind, lastError.Code, lastError.Message}));
    return text;
}

QString describeNetworkName(const QString& name)
{
    NameFault fault = NameFault::None;
    const std::optional<commport::net::NetworkName> parsed = commport::net::ParseNetworkName(name.toStdString(), &fault);
    if (!parsed)
        return invalidNetworkNameText(name, fault);
    const QString where = QStringLiteral("узел %1, порт %2").arg(QString::fromStdString(parsed->host)).arg(parsed->port);
    return parsed->scheme == commport::net::LineScheme::Rfc2217
        ? QStringLiteral("Линия за сервером последовательных портов (%1): настройки линии передаются серверу "
                         "(RFC 2217)").arg(where)
        : QStringLiteral("Простой канал TCP (%1): настройки линии не передаются, их задаёт сервер").arg(where);
}

QString rawLineNotice(const QString& name)
{
    return QStringLiteral("%1: простой канал TCP — скорость, формат и управление потоком не передаются, "
                          "их задаёт сервер")
        .arg(name);
}

bool serverAbsent(int errorCode)
{
    switch (errorCode) {
    case ECONNREFUSED:
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN:
    case ECONNRESET:
    case EPIPE:
        return true;
    default:
        return errorCode < -1; // a name the resolver does not know (yet)
    }
}

bool serverClosedAtOnce(int errorCode)
{
    return errorCode == ECONNRESET || errorCode == EPIPE;
}

QString closesAtOnceText(const QString& device, const QString& said, int longestPauseMs)
{
    QString text = QStringLiteral("%1: сервер закрывает соединение сразу; пробую снова каждые %2 с")
                       .arg(device)
                       .arg(longestPauseMs / 1000);
    if (!said.isEmpty())
        text += QStringLiteral(" (%1)").arg(said);
    return text;
}

QString misbehavingServerText(const QString& said)
{
    QString text = QStringLiteral("сервер шлёт запросы согласования быстрее, чем читает ответы: соединение разорвано");
    if (!said.isEmpty())
        text += QStringLiteral(" (%1)").arg(said);
    return text;
}

QString inputHeldText(const QString& name, std::size_t bytes)
{
    return QStringLiteral("%1: %2 байт ждут чтения; приём из сети приостановлен — сервер придерживает "
                          "остальное, пока их не прочтут")
        .arg(name)
        .arg(bytes);
}

} // namespace portsession
