#include "consoletestbench.h"

#include "virtualports.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>
#include <sys/stat.h>

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
    windows_.Form1.reset();
    if (savedRuntimeDir_.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", savedRuntimeDir_);
}

void ConsoleTestBench::publish(const QString& name, const std::string& devicePath)
{
    const QDir directory(ports::virtualPortsDirectory());
    // Private to this user, as the simulator makes it: the console leaves alone a folder
    // others may write to.
    for (const QString& folder : {QFileInfo(directory.path()).path(), directory.path()})
        ::mkdir(QFile::encodeName(folder).constData(), 0700);
    // As the simulator publishes: a new link renamed over the old one, so a device
    // published again is a new link even when its terminal got the old number.
    const QString temporary = directory.filePath(name + QStringLiteral(".new"));
    QFile::remove(temporary);
    QFile::link(QString::fromStdString(devicePath), temporary);
    ::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(directory.filePath(name)).constData());
}

void ConsoleTestBench::selectMode(Mode mode)
{
    static const char* const names[] = {"prog_DIX", "prog_QL", "prog_ERK2"};
    QTest::mouseClick(control<QRadioButton>(QString::fromLatin1(names[mode])), Qt::LeftButton);
}

bool ConsoleTestBench::openPort()
{
    control<QComboBox>(QStringLiteral("COM"))->setEditText(QStringLiteral("COM9"));
    QTest::mouseClick(control<QPushButton>(QStringLiteral("OpenPort")), Qt::LeftButton);
    return line().portOpen() && control<QPushButton>(QStringLiteral("ClosePort"))->isEnabled();
}

void ConsoleTestBench::typeAndSend(const QString& text)
{
    auto* edit = control<QLineEdit>(QStringLiteral("otpravedit"));
    edit->clear();
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    QTest::keyClick(edit, Qt::Key_Return);
}

bool ConsoleTestBench::waitIdle(int timeoutMs)
{
    return QTest::qWaitFor([this] { return !line().busy(); }, timeoutMs);
}

QStringList ConsoleTestBench::lines(const QString& pane) const
{
    const auto* log = windows_.Form1->findChild<ui::LogPane*>(pane);
    return log ? log->lines() : QStringList{QStringLiteral("no pane ") + pane};
}

QStringList ConsoleTestBench::consoleLines() const
{
    return lines(QStringLiteral("dannieListBox1"));
}

QString withoutTimeStamp(const QString& line)
{
    static const QRegularExpression stamp(QStringLiteral("^(PC(->|<-)) \\([^)]*\\)"));
    QString out = line;
    return out.replace(stamp, QStringLiteral("\\1"));
}

} // namespace qldixw::testing
