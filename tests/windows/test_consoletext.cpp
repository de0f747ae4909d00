// What a run from the command line writes, on Windows: the characters themselves into a
// console, whatever its code page, and UTF-8 into a pipe or a file.

#include "consoletext.h"

#include <QTest>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

class TestConsoleText : public QObject {
    Q_OBJECT
private slots:
    void intoAConsole_data();
    void intoAConsole();
    void intoAPipe();
};

namespace {

// A C stream on a Windows handle, as the program's stdout is after it attached to the
// console it was started from.
std::FILE* streamOf(HANDLE handle)
{
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    return fd < 0 ? nullptr : _fdopen(fd, "wb");
}

// The console screen's text from the start of its row `row`, `length` characters.
QString screenText(HANDLE screen, SHORT row, DWORD length)
{
    std::wstring text(length, L' ');
    DWORD read = 0;
    if (!::ReadConsoleOutputCharacterW(screen, text.data(), length, COORD{0, row}, &read))
        return {};
    return QString::fromWCharArray(text.data(), int(read));
}

} // namespace

void TestConsoleText::intoAConsole_data()
{
    QTest::addColumn<unsigned>("codePage");
    // The console's own code page does not matter: 866 is a Russian console's, 437 an
    // English one's, 65001 UTF-8.
    QTest::newRow("866") << 866u;
    QTest::newRow("437") << 437u;
    QTest::newRow("65001") << 65001u;
}

void TestConsoleText::intoAConsole()
{
    QFETCH(unsigned, codePage);
    ::FreeConsole();
    QVERIFY(::AllocConsole());
    const HANDLE screen = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    QVERIFY(screen != INVALID_HANDLE_VALUE);
    ::SetConsoleOutputCP(codePage);
    COORD home{0, 0};
    DWORD cleared = 0;
    ::FillConsoleOutputCharacterW(screen, L' ', 80 * 5, home, &cleared);
    ::SetConsoleCursorPosition(screen, home);

    std::FILE* stream = streamOf(screen);
    QVERIFY(stream);
    const QString line = QStringLiteral("Сценарий: case статус рукава 1 пройден → ёЁ");
    testscript::writeConsoleText(stream, line + u'\n');
    QCOMPARE(screenText(screen, 0, DWORD(line.size())), line);
    std::fclose(stream); // closes the handle too
    ::FreeConsole();
}

void TestConsoleText::intoAPipe()
{
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    QVERIFY(::CreatePipe(&readEnd, &writeEnd, nullptr, 1 << 16));
    std::FILE* stream = streamOf(writeEnd);
    QVERIFY(stream);
    const QString line = QStringLiteral("qldixw: порт COM7: нет ответа\n");
    testscript::writeConsoleText(stream, line);
    std::fclose(stream);
    QByteArray bytes(1024, '\0');
    DWORD read = 0;
    QVERIFY(::ReadFile(readEnd, bytes.data(), DWORD(bytes.size()), &read, nullptr));
    bytes.truncate(qsizetype(read));
    ::CloseHandle(readEnd);
    QCOMPARE(bytes, line.toUtf8());
}

QTEST_APPLESS_MAIN(TestConsoleText)

#include "test_consoletext.moc"
