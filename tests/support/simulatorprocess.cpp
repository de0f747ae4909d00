#include "simulatorprocess.h"

#include <QElapsedTimer>

namespace qldixw::testing {

SimulatorProcess::SimulatorProcess(const QString& linkPath, const QStringList& options)
    : process_(std::make_unique<QProcess>())
{
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(QStringLiteral(QLDIXW_DEVSIM_PATH), QStringList{QStringLiteral("--link"), linkPath} + options);
    if (!process_->waitForStarted(5000))
        return;
    QElapsedTimer clock;
    clock.start();
    while (!process_->canReadLine() && clock.elapsed() < 5000 && process_->state() == QProcess::Running)
        process_->waitForReadyRead(100);
    const QStringList ready = QString::fromLocal8Bit(process_->readLine()).trimmed().split(u' ');
    if (ready.size() == 3 && ready[0] == u"ready")
        ptyPath_ = ready[1];
}

SimulatorProcess::~SimulatorProcess()
{
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        process_->waitForFinished(5000);
    }
}

} // namespace qldixw::testing
