#include "consoletestbench.h"

#include "virtualports.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace qldixw::testing {

ConsoleTestBench::ConsoleTestBench()
    : savedRuntimeDir_(qgetenv("XDG_RUNTIME_DIR"))
    , device_(std::make_unique<PtyPair>())
{
    qputenv("XDG_RUNTIME_DIR", runtimeDir_.path().toLocal8Bit());
    publish(QStringLiteral("COM9"), device_->portPath());
    windows_ = mainwindow::createProgramWindows();
    windows_.Form1->show();
}

ConsoleTestBench::~ConsoleTestBench()
{
    windows_.reset();
    if (savedRuntimeDir_.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", savedRuntimeDir_);
}

void ConsoleTestBench::publish(const QString& name, const std::string& devicePath)
{
    const QDir directory(ports::virtualPortsDirectory());
    QDir().mkpath(directory.path());
    QFile::remove(directory.filePath(name));
    QFile::link(QString::fromStdString(devicePath), directory.filePath(name));
}

bool ConsoleTestBench::openPort()
{
    window().COM->setEditText(QStringLiteral("COM9"));
    QTest::mouseClick(window().OpenPort, Qt::LeftButton);
    return window().Comm1.IsOpen() && window().ClosePort->isEnabled();
}

void ConsoleTestBench::typeAndSend(const QString& text)
{
    QLineEdit* line = window().console->otpravedit;
    line->clear();
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, line, Qt::Key_unknown, QString(c), Qt::NoModifier);
    QTest::keyClick(line, Qt::Key_Return);
}

bool ConsoleTestBench::waitIdle(int timeoutMs)
{
    return QTest::qWaitFor([this] { return !window().transport->busy(); }, timeoutMs);
}

QStringList ConsoleTestBench::lines(const QPlainTextEdit* pane)
{
    const QString text = pane->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

QStringList ConsoleTestBench::consoleLines() const
{
    return lines(windows_.Form1->console->dannieListBox1);
}

QString withoutTimeStamp(const QString& line)
{
    static const QRegularExpression stamp(QStringLiteral("^(PC(->|<-)) \\([^)]*\\)"));
    QString out = line;
    return out.replace(stamp, QStringLiteral("\\1"));
}

} // namespace qldixw::testing
