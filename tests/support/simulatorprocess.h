#pragma once
// The device simulator as a separate process, publishing its pseudo-terminal at a
// given path (for the tests: the virtual port COM9 of a test bench).

#include <QProcess>
#include <QStringList>
#include <memory>

namespace qldixw::testing {

class SimulatorProcess {
public:
    // Starts qldixw-devsim with --link linkPath and the given options, and waits for
    // its "ready" line. started() tells whether it came up.
    SimulatorProcess(const QString& linkPath, const QStringList& options);
    ~SimulatorProcess();

    bool started() const { return !ptyPath_.isEmpty(); }
    const QString& ptyPath() const { return ptyPath_; }

private:
    std::unique_ptr<QProcess> process_;
    QString ptyPath_;
};

} // namespace qldixw::testing
