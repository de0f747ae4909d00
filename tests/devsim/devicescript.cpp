#include "devicescript.h"

#include "frametext.h"
#include "simdevice.h"

#include <deque>

QByteArray framesOf(const QString& text)
{
    QByteArray bytes;
    QString rest = text;
    for (qsizetype star = rest.indexOf(u'*'); star >= 0; star = rest.indexOf(u'*')) {
        bytes += transport::frameTextToBytes(rest.left(star + 1))->bytes;
        rest.remove(0, star + 1);
    }
    if (!rest.trimmed().isEmpty())
        bytes += transport::frameTextToBytes(rest)->bytes;
    return bytes;
}

QString runScript(devsim::SimDevice& device, const QStringList& script, int chunk)
{
    std::deque<QByteArray> replies;
    qint64 now = 0;
    for (const QString& step : script) {
        const QString body = step.mid(1).trimmed();
        if (step.startsWith(u'@')) {
            now = body.toLongLong();
        } else if (step.startsWith(u'>')) {
            const QByteArray bytes = framesOf(body);
            const qsizetype size = chunk > 0 ? chunk : bytes.size();
            for (qsizetype at = 0; at < bytes.size(); at += size)
                for (const QByteArray& reply : device.receive(QByteArrayView(bytes).sliced(at, qMin(size, bytes.size() - at)), now))
                    replies.push_back(reply);
        } else if (step.startsWith(u'<')) {
            const QByteArray expected = framesOf(body);
            if (replies.empty())
                return QStringLiteral("no reply at \"%1\"").arg(step);
            if (replies.front() != expected)
                return QStringLiteral("at \"%1\" got%2").arg(step, transport::byteText(replies.front()));
            replies.pop_front();
        } else if (step == u"-") {
            if (!replies.empty())
                return QStringLiteral("unexpected reply%1").arg(transport::byteText(replies.front()));
        } else {
            return QStringLiteral("bad script step \"%1\"").arg(step);
        }
    }
    if (!replies.empty())
        return QStringLiteral("unexpected reply%1 at the end").arg(transport::byteText(replies.front()));
    return {};
}
