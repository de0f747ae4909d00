#include "networkopen.h"

#include "net/connector.h"
#include "net/netconnection.h"

#include <QMetaObject>

namespace portsession {

NetworkOpen::NetworkOpen(const QString& name, const commport::TLineSettings& settings, QObject* parent)
    : QObject(parent)
    , name_(name)
{
    // The thread only posts, and the object it posts to outlives it: the destructor
    // waits for the thread. By name, not as a functor: what a functor carries would cross
    // threads inside Qt's own code, unseen by the thread sanitizer; the result itself is
    // taken under the connector's mutex.
    connector_ = std::make_unique<commport::net::Connector>(
        name.toStdString(), commport::net::kConnectTimeout,
        [this] { QMetaObject::invokeMethod(this, "ended", Qt::QueuedConnection); }, settings);
}

NetworkOpen::~NetworkOpen() = default;

std::unique_ptr<commport::net::Connection> NetworkOpen::take(commport::backend::SystemError& error)
{
    return connector_->Take(error);
}

void NetworkOpen::abandon()
{
    abandoned_ = true;
    connector_->Cancel();
}

void NetworkOpen::ended()
{
    if (abandoned_)
        deleteLater();
    else
        emit finished();
}

} // namespace portsession
