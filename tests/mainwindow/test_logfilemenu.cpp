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
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>

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
    mainwindow::MenuDialogs dialogs = mainwindow::systemMenuDialogs();
    dialogs.openFileName = [this](QWidget*, const QString& filter) {
        ++openShown_;
        filters_ << filter;
        return openAnswer_;
    };
    dialogs.saveFileName = [this](QWidget*, const QString& filter) {
        ++saveShown_;
        filters_ << filter;
        return saveAnswer_;
    };
    bench_->window().setMenuDialogs(dialogs);
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
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("throughSave");
    QTest::addColumn<int>("fileSizeLimit");
    QTest::addColumn<int>("errorCode");

    // The known log file is the one a good save wrote before.
    QTest::newRow("a folder as name") << "folder.LogDIXW" << false << 0 << EISDIR;
    QTest::newRow("a folder that does not exist") << "missing/x.LogDIXW" << false << 0 << ENOENT;
    QTest::newRow("the disk takes no more (Сохранить)") << "good.LogDIXW" << true << 4096 << EFBIG;
    QTest::newRow("the disk takes no more (Сохранить как)") << "good.LogDIXW" << false << 4096 << EFBIG;
}

// A failed save shows why and leaves the old file byte for byte, the pane and the
// log file name as they were, and no temporary file behind.
void TestLogFileMenu::failedSaveChangesNothing()
{
    QFETCH(QString, target);
    QFETCH(bool, throughSave);
    QFETCH(int, fileSizeLimit);
    QFETCH(int, errorCode);

    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("folder.LogDIXW")));
    const QString good = at(QStringLiteral("good.LogDIXW"));
    pane().setLines(consoleSample());
    saveAs(good);
    const QByteArray oldFile = readAll(good);
    QCOMPARE(oldFile, ui::encodeLog(consoleSample()));

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
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Cannot create file %1\n").arg(at(target))
                                        + mainwindow::fileFailureReason(errorCode)});
    QCOMPARE(readAll(good), oldFile);
    QCOMPARE(logFileName(), good);
    QCOMPARE(pane().lines(), bigger);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{QStringLiteral("good.LogDIXW")});
}

void TestLogFileMenu::refusedOpenChangesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("message");

    QTest::newRow("one byte over the limit") << "huge.logDIXW" << mainwindow::kLogFileByteLimit + 1
                                             << QStringLiteral("Text exceeds memo capacity\nЖурнал больше %1 МБ не помещается в окно.")
                                                    .arg(mainwindow::kLogFileByteLimit / (1024 * 1024));
    QTest::newRow("no such file") << "gone.logDIXW" << qint64(-1)
                                  << QStringLiteral("Cannot open file %1\n") + mainwindow::fileFailureReason(ENOENT);
    QTest::newRow("a folder") << "folder.logDIXW" << qint64(-1)
                              << QStringLiteral("Cannot open file %1\n") + mainwindow::fileFailureReason(EISDIR);
}

void TestLogFileMenu::refusedOpenChangesNothing()
{
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QFETCH(QString, message);

    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("folder.logDIXW")));
    const QString path = at(name);
    if (size >= 0) {
        // Sparse: the refusal must come before any reading.
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size));
    }
    const QString good = at(QStringLiteral("good.LogDIXW"));
    pane().setLines(consoleSample());
    saveAs(good);

    ModalCatcher boxes;
    openAnswer_ = path;
    trigger("openFiles");
    QCOMPARE(boxes.texts(), QStringList{message.contains(u'%') ? message.arg(path) : message});
    QCOMPARE(pane().lines(), consoleSample());
    QCOMPARE(logFileName(), good);
}

// A device or a pipe tells no size: reading stops at the limit all the same. A job the
// user cancels leaves the old file as it was.
void TestLogFileMenu::readingIsBoundedAndCancellable()
{
    const mainwindow::LogRead endless = mainwindow::readLogFile(QStringLiteral("/dev/zero"), {}, 4 << 20);
    QCOMPARE(endless.outcome, mainwindow::FileOutcome::TooLarge);
    QVERIFY(endless.lines.isEmpty());

    const QString path = at(QStringLiteral("kept.LogDIXW"));
    writeFile(path, "old\r\n");
    QStringList many(100000, QStringLiteral("PC-> (07.12.2024 10:00:01)  60 01 81 FB"));
    int steps = 0;
    const auto cancelAtSecondStep = [&steps](qint64, qint64) { return ++steps < 2; };
    QCOMPARE(mainwindow::writeLogFile(path, many, cancelAtSecondStep).outcome, mainwindow::FileOutcome::Cancelled);
    QCOMPARE(readAll(path), QByteArray("old\r\n"));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{QStringLiteral("kept.LogDIXW")});

    QVERIFY(mainwindow::writeLogFile(path, many, {}).outcome == mainwindow::FileOutcome::Done);
    steps = 0;
    const mainwindow::LogRead cancelled = mainwindow::readLogFile(path, cancelAtSecondStep);
    QCOMPARE(cancelled.outcome, mainwindow::FileOutcome::Cancelled);
    QVERIFY(cancelled.lines.isEmpty());
    QCOMPARE(mainwindow::readLogFile(path, {}).lines, many);
}

QTEST_MAIN(TestLogFileMenu)
#include "test_logfilemenu.moc"
