#pragma once
// One connect to a line behind a serial device server, on the connector's own thread,
// reported on the GUI thread: the window goes on while a name is looked up, a host that
// does not answer is waited for, and the server's answers to the line settings come.

#include "backend.h"
#include "commtypes.h"

#include <QObject>
#include <QString>

#include <memory>

namespace commport::net {
class Connection;
class Connector;
}

namespace portsession {

class NetworkOpen : public QObject {
    Q_OBJECT
public:
    // The line gets `settings` there too, and the server's verdict on them.
    NetworkOpen(const QString& name, const commport::TLineSettings& settings, QObject* parent = nullptr);
    // Waits for the connector's thread: a name lookup under way cannot be cut short.
    // Dropping an attempt goes through abandon(), which does not wait.
    ~NetworkOpen() override;

    const QString& name() const { return name_; }
    // After finished: the connection, or nullptr with the failure in `error`.
    std::unique_ptr<commport::net::Connection> take(commport::backend::SystemError& error);

    // The attempt is no longer wanted: no finished, and the object deletes itself once
    // its thread has ended.
    void abandon();

signals:
    void finished();

private:
    Q_INVOKABLE void ended();

    QString name_;
    bool abandoned_ = false;
    std::unique_ptr<commport::net::Connector> connector_;
};

} // namespace portsession
