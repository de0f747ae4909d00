// The "Файл" menu on the whole program: the console log saved to a file and loaded
// back, the name rule of the save dialog, failures that must change nothing, and
// "Выход". The dialogs are answered by the test in place of the user.

#include "consoletestbench.h"
#include "logfile.h"
#include "logfileio.h"
#include "modalcatcher.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace qldixw::testing;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList consoleSample()
{
    return {QStringLiteral("PC-> (07.12.2024 10:00:01)  60 01 81 FB"), QString(),
            QStringLiteral("Версия: ЗЕНТ-11 ёЁ №5"), QStringLiteral("PC<- (07.12.2024 10:00:01)  E0 01 80 00 22")};
}

// Lowers the largest file this process may write, for one scope: a real write failure
// (EFBIG) for a process that may write anywhere, as tests running as root can.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit lower = saved_;
        lower.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }

private:
    rlimit saved_{};
};

// Puts a node that is no file at `path`: "pipe", "socket", "device" (a character device
// like /dev/null; only root may make one) or "link to pipe" (the pipe beside it). An
// empty kind puts nothing. False when the system does not let this process make it.
bool makeNode(const QString& kind, const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    if (kind.isEmpty())
        return true;
    if (kind == u"pipe")
        return ::mkfifo(name.constData(), 0600) == 0;
    if (kind == u"link to pipe")
        return makeNode(QStringLiteral("pipe"), path + QStringLiteral(".pipe"))
               && QFile::link(path + QStringLiteral(".pipe"), path);
    if (kind == u"device")
        return ::mknod(name.constData(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    if (kind == u"socket") {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(name.size()) >= sizeof(address.sun_path))
            return false;
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
        if (fd >= 0)
            ::close(fd);
        return bound;
    }
    return false;
}

// The kind of node at the name itself (a link is a link).
mode_t nodeType(const QString& path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & S_IFMT : 0;
}

// Should the window ever wait in open() on a pipe, this lets it go after a generous limit
// (a writer that opens and closes the pipe), so that the test fails instead of hanging.
class PipeWatchdog {
public:
    explicit PipeWatchdog(const QString& pipe)
        : thread_([this, name = QFile::encodeName(pipe)] {
            std::unique_lock lock(mutex_);
            if (stop_.wait_for(lock, std::chrono::seconds(10), [this] { return stopped_; }))
                return;
            fired_ = true;
            // Succeeds once a reader waits in open(); until then, try again.
            while (!stop_.wait_for(lock, std::chrono::milliseconds(50), [this] { return stopped_; })) {
                const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    ::close(fd);
                    return;
                }
            }
        })
    {
    }
    ~PipeWatchdog()
    {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        stop_.notify_all();
        thread_.join();
    }
    bool fired()
    {
        std::lock_guard lock(mutex_);
        return fired_;
    }

private:
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopped_ = false;
    bool fired_ = false;
    std::thread thread_;
};

// Presses "Отмена" in the progress window as soon as it shows.
class CancelWhenShown : public QObject {
public:
    CancelWhenShown() { qApp->installEventFilter(this); }
    ~CancelWhenShown() override { qApp->removeEventFilter(this); }
    bool shown() const { return shown_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* dialog = qobject_cast<QProgressDialog*>(watched);
        if (event->type() == QEvent::Show && dialog && dialog->objectName() == u"FileProgress") {
            shown_ = true;
            QTimer::singleShot(0, dialog, [dialog = QPointer(dialog)] {
                if (auto* cancel = dialog ? dialog->findChild<QPushButton*>() : nullptr)
                    cancel->click();
            });
        }
        return false;
    }

private:
    bool shown_ = false;
};

} // namespace

class TestLogFileMenu : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void shortcuts_data();
    void shortcuts();
    void nameRule_data();
    void nameRule();
    void roundTrip_data();
    void roundTrip();
    void saveAsksOnlyTheFirstTime();
    void saveAfterOpenWritesTheOpenedFile();
    void failedSaveChangesNothing_data();
    void failedSaveChangesNothing();
    void refusedOpenChangesNothing_data();
    void refusedOpenChangesNothing();
    void readingIsBoundedAndCancellable();

private:
    ui::LogPane& pane() { return *bench_->window().findChild<ui::LogPane*>(QStringLiteral("dannieListBox1")); }
    QString logFileName() { return bench_->control<QLabel>(QStringLiteral("Label14"))->text(); }
    void trigger(const char* item) { bench_->window().findChild<QAction*>(QString::fromLatin1(item))->trigger(); }
    QString at(const QString& name) const { return dir_->filePath(name); }
    // Saves the pane through "Сохранить как ..." under that name.
    void saveAs(const QString& path);

    std::unique_ptr<ConsoleTestBench> bench_;
    std::unique_ptr<QTemporaryDir> dir_;
    mainwindow::MenuDialogs dialogs_;
    // What the user answers in the dialogs, and how often each was shown.
    QString openAnswer_;
    QString saveAnswer_;
    int openShown_ = 0;
    int saveShown_ = 0;
    QStringList filters_;
};

void TestLogFileMenu::initTestCase()
{
    // A write past the file size limit fails with EFBIG instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
}

void TestLogFileMenu::init()
{
    bench_ = std::make_unique<ConsoleTestBench>();
    dir_ = std::make_unique<QTemporaryDir>();
    openAnswer_.clear();
    saveAnswer_.clear();
    openShown_ = saveShown_ = 0;
    filters_.clear();
    dialogs_ = mainwindow::systemMenuDialogs();
    dialogs_.openFileName = [this](QWidget*, const QString& filter) {
        ++openShown_;
        filters_ << filter;
        return openAnswer_;
    };
    dialogs_.saveFileName = [this](QWidget*, const QString& filter) {
        ++saveShown_;
        filters_ << filter;
        return saveAnswer_;
    };
    bench_->window().setMenuDialogs(dialogs_);
}

void TestLogFileMenu::cleanup()
{
    bench_.reset();
    dir_.reset();
}

void TestLogFileMenu::saveAs(const QString& path)
{
    saveAnswer_ = path;
    trigger("saveas");
}

void TestLogFileMenu::shortcuts_data()
{
    QTest::addColumn<QKeyCombination>("keys");
    QTest::addColumn<int>("openShown");
    QTest::addColumn<int>("saveShown");
    QTest::addColumn<bool>("windowEnds");

    QTest::newRow("Ctrl+O Открыть") << QKeyCombination(Qt::ControlModifier, Qt::Key_O) << 1 << 0 << false;
    QTest::newRow("Ctrl+S Сохранить (no name yet)") << QKeyCombination(Qt::ControlModifier, Qt::Key_S) << 0 << 1 << false;
    QTest::newRow("Ctrl+Shift+S Сохранить как") << QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_S) << 0 << 1 << false;
    QTest::newRow("Ctrl+Q Выход") << QKeyCombination(Qt::ControlModifier, Qt::Key_Q) << 0 << 0 << true;
}

// The keys work from the window, and "Выход" closes the port before the window.
void TestLogFileMenu::shortcuts()
{
    QFETCH(QKeyCombination, keys);
    QFETCH(int, openShown);
    QFETCH(int, saveShown);
    QFETCH(bool, windowEnds);

    auto& window = bench_->window();
    QVERIFY(bench_->openPort());
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, keys.key(), keys.keyboardModifiers());

    QCOMPARE(openShown_, openShown);
    QCOMPARE(saveShown_, saveShown);
    QCOMPARE(!window.isVisible(), windowEnds);
    QCOMPARE(!bench_->line().portOpen(), windowEnds);
    // The dialogs show the format's own filter, in the exact case the format uses.
    const QString filter = openShown ? QStringLiteral("logDIXW (*.logDIXW)") : QStringLiteral("LogDIXW (*.LogDIXW)");
    QCOMPARE(filters_, windowEnds ? QStringList() : QStringList{filter});
}

void TestLogFileMenu::nameRule_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");

    QTest::newRow("no suffix") << "report" << "report.LogDIXW";
    QTest::newRow("suffix") << "report.LogDIXW" << "report.LogDIXW";
    QTest::newRow("suffix in another case") << "report.logdixw" << "report.logdixw.LogDIXW";
    QTest::newRow("suffix inside the name") << "a.LogDIXW.txt" << "a.LogDIXW.txt";
    // A folder's name says nothing about the file's.
    QTest::newRow("suffix only on the folder") << "old.LogDIXW/report" << "old.LogDIXW/report.LogDIXW";
}

void TestLogFileMenu::nameRule()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);

    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("old.LogDIXW")));
    pane().setLines(consoleSample());
    saveAs(at(chosen));

    QCOMPARE(logFileName(), at(written));
    QCOMPARE(readAll(at(written)), ui::encodeLog(consoleSample()));
    if (chosen != written)
        QVERIFY(!QFile::exists(at(chosen)));
}

void TestLogFileMenu::roundTrip_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("reopened");

    QTest::newRow("empty pane, empty file") << QStringList() << QByteArray() << QStringList();
    QTest::newRow("console lines, cyrillic, empty lines")
        << (consoleSample() << QString() << QString())
        << QByteArray("PC-> (07.12.2024 10:00:01)  60 01 81 FB\r\n\r\n"
                      "\xC2\xE5\xF0\xF1\xE8\xFF: \xC7\xC5\xCD\xD2-11 \xB8\xA8 \xB9" "5\r\n"
                      "PC<- (07.12.2024 10:00:01)  E0 01 80 00 22\r\n\r\n\r\n")
        << (consoleSample() << QString() << QString());
    QTest::newRow("box drawing becomes ?") << QStringList{QStringLiteral("╔═╗ ПУСК")}
                                           << QByteArray("??? \xCF\xD3\xD1\xCA\r\n")
                                           << QStringList{QStringLiteral("??? ПУСК")};
}

// Saved and opened again through the menu, a log comes back line for line.
void TestLogFileMenu::roundTrip()
{
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, reopened);

    const QString path = at(QStringLiteral("round.LogDIXW"));
    pane().setLines(lines);
    saveAs(path);
    QCOMPARE(readAll(path), file);

    pane().setLines({QStringLiteral("replaced on loading")});
    openAnswer_ = path;
    trigger("openFiles");
    QCOMPARE(pane().lines(), reopened);
    QCOMPARE(logFileName(), path);
}

void TestLogFileMenu::saveAsksOnlyTheFirstTime()
{
    const QString path = at(QStringLiteral("session.LogDIXW"));
    pane().setLines({QStringLiteral("first")});
    saveAnswer_ = path;
    trigger("save");
    QCOMPARE(saveShown_, 1);
    QCOMPARE(readAll(path), QByteArray("first\r\n"));

    pane().appendLine(QStringLiteral("second"));
    trigger("save");
    QCOMPARE(saveShown_, 1);
    QCOMPARE(readAll(path), QByteArray("first\r\nsecond\r\n"));
}

// A file from elsewhere, with other line ends, is opened, and "Сохранить" writes the
// pane back into it in the format's own line ends.
void TestLogFileMenu::saveAfterOpenWritesTheOpenedFile()
{
    const QString path = at(QStringLiteral("from-elsewhere.logDIXW"));
    writeFile(path, QByteArray("a\r\n\xE1\n\xE2\r\r\n\xE3"));
    pane().setLines({QStringLiteral("before")});
    openAnswer_ = path;
    trigger("openFiles");
    QCOMPARE(pane().lines(), (QStringList{QStringLiteral("a"), QStringLiteral("б"), QStringLiteral("в"), QString(),
                                          QStringLiteral("г")}));

    pane().appendLine(QStringLiteral("PC-> д"));
    trigger("save");
    QCOMPARE(saveShown_, 0);
    QCOMPARE(readAll(path), QByteArray("a\r\n\xE1\r\n\xE2\r\n\r\n\xE3\r\nPC-> \xE4\r\n"));
}

void TestLogFileMenu::failedSaveChangesNothing_data()
{
    using ui::fileFailureReason;
    using ui::SpecialFile;
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("node"); // made at the target first, see makeNode()
    QTest::addColumn<bool>("throughSave");
    QTest::addColumn<int>("fileSizeLimit");
    QTest::addColumn<QString>("reason");

    // The known log file is the one a good save wrote before.
    QTest::newRow("a folder as name") << "folder.LogDIXW" << "" << false << 0 << fileFailureReason(EISDIR);
    QTest::newRow("a folder that does not exist") << "missing/x.LogDIXW" << "" << false << 0 << fileFailureReason(ENOENT);
    QTest::newRow("the disk takes no more (Сохранить)") << "good.LogDIXW" << "" << true << 4096 << fileFailureReason(EFBIG);
    QTest::newRow("the disk takes no more (Сохранить как)") << "good.LogDIXW" << "" << false << 4096 << fileFailureReason(EFBIG);
    // Saving would rename a file over the node: it must stay what it was.
    QTest::newRow("a pipe as name") << "pipe.LogDIXW" << "pipe" << false << 0 << fileFailureReason(SpecialFile::Pipe);
    QTest::newRow("a link to a pipe") << "link.LogDIXW" << "link to pipe" << false << 0 << fileFailureReason(SpecialFile::Pipe);
    QTest::newRow("a socket as name") << "socket.LogDIXW" << "socket" << false << 0 << fileFailureReason(SpecialFile::Socket);
    QTest::newRow("a device as name") << "device.LogDIXW" << "device" << false << 0 << fileFailureReason(SpecialFile::Device);
}

// A failed save shows why and leaves the old file byte for byte, the pane and the
// log file name as they were, and no temporary file behind.
void TestLogFileMenu::failedSaveChangesNothing()
{
    QFETCH(QString, target);
    QFETCH(QString, node);
    QFETCH(bool, throughSave);
    QFETCH(int, fileSizeLimit);
    QFETCH(QString, reason);

    if (!makeNode(node, at(target)))
        QSKIP(qPrintable(QStringLiteral("this process may not make a %1 here").arg(node)));
    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("folder.LogDIXW")));
    const QString good = at(QStringLiteral("good.LogDIXW"));
    pane().setLines(consoleSample());
    saveAs(good);
    const QByteArray oldFile = readAll(good);
    QCOMPARE(oldFile, ui::encodeLog(consoleSample()));
    const QStringList files = QDir(dir_->path()).entryList(QDir::Files);
    // The node, and the pipe a link leads to.
    const mode_t nodeBefore = nodeType(at(target));
    const mode_t pipeBefore = nodeType(at(target) + QStringLiteral(".pipe"));

    // A pane well past the size limit.
    QStringList bigger;
    for (int i = 0; i < 400; ++i)
        bigger << QStringLiteral("PC-> (07.12.2024 10:00:%1)  60 01 81 FB").arg(i);
    pane().setLines(bigger);

    ModalCatcher boxes;
    {
        std::optional<FileSizeLimit> limit;
        if (fileSizeLimit)
            limit.emplace(rlim_t(fileSizeLimit));
        if (throughSave)
            trigger("save");
        else
            saveAs(at(target));
    }
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Cannot create file %1\n").arg(at(target)) + reason});
    QCOMPARE(readAll(good), oldFile);
    QCOMPARE(logFileName(), good);
    QCOMPARE(pane().lines(), bigger);
    // No temporary file left, and no file put where a node was.
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), files);
    QVERIFY(files.contains(QStringLiteral("good.LogDIXW")));
    QCOMPARE(nodeType(at(target)), nodeBefore);
    QCOMPARE(nodeType(at(target) + QStringLiteral(".pipe")), pipeBefore);
}

void TestLogFileMenu::refusedOpenChangesNothing_data()
{
    using ui::fileFailureReason;
    using ui::SpecialFile;
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("node"); // see makeNode()
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("message"); // none: no box

    const QString cannotOpen = QStringLiteral("Cannot open file %1\n");
    QTest::newRow("one byte over the limit") << "huge.logDIXW" << ui::kLogFileByteLimit + 1 << "" << false
                                             << QStringLiteral("Text exceeds memo capacity\nЖурнал больше %1 МБ не помещается в окно.")
                                                    .arg(ui::kLogFileByteLimit / (1024 * 1024));
    QTest::newRow("no such file") << "gone.logDIXW" << qint64(-1) << "" << false << cannotOpen + fileFailureReason(ENOENT);
    QTest::newRow("a folder") << "folder.logDIXW" << qint64(-1) << "" << false << cannotOpen + fileFailureReason(EISDIR);
    // Nothing that is no file is read: a pipe would hold the window until someone writes.
    QTest::newRow("a pipe") << "pipe.logDIXW" << qint64(-1) << "pipe" << false << cannotOpen + fileFailureReason(SpecialFile::Pipe);
    QTest::newRow("a link to a pipe") << "link.logDIXW" << qint64(-1) << "link to pipe" << false
                                      << cannotOpen + fileFailureReason(SpecialFile::Pipe);
    QTest::newRow("a socket") << "socket.logDIXW" << qint64(-1) << "socket" << false
                              << cannotOpen + fileFailureReason(SpecialFile::Socket);
    QTest::newRow("a device") << "/dev/null" << qint64(-1) << "" << false << cannotOpen + fileFailureReason(SpecialFile::Device);
    // Four reads of 1 MiB: "Отмена" is pressed at the second.
    QTest::newRow("cancelled") << "long.logDIXW" << qint64(4 << 20) << "" << true << QString();
}

void TestLogFileMenu::refusedOpenChangesNothing()
{
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QFETCH(QString, node);
    QFETCH(bool, cancel);
    QFETCH(QString, message);

    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("folder.logDIXW")));
    const QString path = QDir::isAbsolutePath(name) ? name : at(name);
    if (size >= 0) {
        // Sparse: the refusal must come before any reading.
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size));
    }
    QVERIFY(makeNode(node, path));
    const QString good = at(QStringLiteral("good.LogDIXW"));
    pane().setLines(consoleSample());
    saveAs(good);

    std::optional<CancelWhenShown> canceller;
    if (cancel) {
        // The progress window comes up at the first step, so that the test can answer it.
        dialogs_.progressDelayMs = 0;
        bench_->window().setMenuDialogs(dialogs_);
        canceller.emplace();
    }
    ModalCatcher boxes;
    openAnswer_ = path;
    {
        std::optional<PipeWatchdog> watchdog;
        if (node.contains(u"pipe"))
            watchdog.emplace(node == u"pipe" ? path : path + QStringLiteral(".pipe"));
        trigger("openFiles");
        QVERIFY2(!watchdog || !watchdog->fired(), "the window waited on the pipe until the test wrote to it");
    }
    QCOMPARE(boxes.texts(), message.isEmpty() ? QStringList() : QStringList{message.contains(u'%') ? message.arg(path) : message});
    QCOMPARE(pane().lines(), consoleSample());
    QCOMPARE(logFileName(), good);
    if (cancel)
        QVERIFY(canceller->shown());
}

// A device is refused before it is read (/dev/zero would never end). A job the user
// cancels leaves the old file as it was.
void TestLogFileMenu::readingIsBoundedAndCancellable()
{
    ui::LogStore lines;
    const ui::LogRead endless = ui::readLogFile(QStringLiteral("/dev/zero"), lines, {}, 4 << 20);
    QCOMPARE(endless.outcome, ui::FileOutcome::NotAFile);
    QCOMPARE(endless.special, ui::SpecialFile::Device);
    QVERIFY(lines.isEmpty());

    const QString path = at(QStringLiteral("kept.LogDIXW"));
    writeFile(path, "old\r\n");
    const QStringList many(100000, QStringLiteral("PC-> (07.12.2024 10:00:01)  60 01 81 FB"));
    ui::LogStore manyLines;
    manyLines.setLines(many);
    int steps = 0;
    const auto cancelAtSecondStep = [&steps](qint64, qint64) { return ++steps < 2; };
    QCOMPARE(ui::writeLogFile(path, manyLines, cancelAtSecondStep).outcome, ui::FileOutcome::Cancelled);
    QCOMPARE(readAll(path), QByteArray("old\r\n"));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{QStringLiteral("kept.LogDIXW")});

    QVERIFY(ui::writeLogFile(path, manyLines, {}).outcome == ui::FileOutcome::Done);
    steps = 0;
    const ui::LogRead cancelled = ui::readLogFile(path, lines, cancelAtSecondStep);
    QCOMPARE(cancelled.outcome, ui::FileOutcome::Cancelled);
    QVERIFY(lines.isEmpty());
    QCOMPARE(ui::readLogFile(path, lines, {}).outcome, ui::FileOutcome::Done);
    QCOMPARE(lines.lines(), many);
}

QTEST_MAIN(TestLogFileMenu)
#include "test_logfilemenu.moc"
