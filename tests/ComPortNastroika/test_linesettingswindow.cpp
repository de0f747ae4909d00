// The line-settings window turns its four lists into one record for the port.

#include "tform2.h"

#include <QTest>

using namespace commport;
using ComPortNastroika::TForm2;

class TestLineSettingsWindow : public QObject {
    Q_OBJECT
private slots:
    void recordFromLists_data();
    void recordFromLists();
};

namespace {

// What the port had before the window: values the window has no list for included.
TLineSettings current()
{
    TLineSettings s;
    s.BaudRate = TBaudRate::cbr9600;
    s.Databits = TDatabits::da8;
    s.Parity = TParity::paNone;
    s.Stopbits = TStopbits::sb20;
    s.FlowControl = TFlowControl::fcSoftware;
    s.Options = {TCommOption::coParityCheck};
    s.XonChar = 0x05;
    s.XoffChar = 0x06;
    return s;
}

TLineSettings with(TBaudRate rate, TDatabits bits, TParity parity, TStopbits stop)
{
    TLineSettings s = current();
    s.BaudRate = rate;
    s.Databits = bits;
    s.Parity = parity;
    s.Stopbits = stop;
    return s;
}

} // namespace

void TestLineSettingsWindow::recordFromLists_data()
{
    QTest::addColumn<QStringList>("texts"); // speed, data bits, parity, stop bits
    QTest::addColumn<TLineSettings>("expected");
    QTest::newRow("every list chosen") << QStringList{"57600", "7", "Mark", "1"}
                                       << with(TBaudRate::cbr57600, TDatabits::da7, TParity::paMark, TStopbits::sb10);
    QTest::newRow("typed, as the operator writes them")
        << QStringList{" 56000", "5", "odd", "1,5"}
        << with(TBaudRate::cbr56000, TDatabits::da5, TParity::paOdd, TStopbits::sb15);
    QTest::newRow("empty lists keep the port's values") << QStringList{"", "", "", ""} << current();
    // refusal() names these before anything is applied; the record never takes them.
    QTest::newRow("texts that name nothing") << QStringList{"96OO", "9", "Четная", "3"} << current();
}

void TestLineSettingsWindow::recordFromLists()
{
    QFETCH(QStringList, texts);
    QFETCH(TLineSettings, expected);
    TForm2 window;
    QComboBox* const lists[] = {window.Speed, window.BIT, window.chetnost, window.StopBit};
    for (int i = 0; i < 4; ++i)
        lists[i]->setEditText(texts[i]);
    const TLineSettings got = window.lineSettings(current());
    QCOMPARE(int(got.BaudRate), int(expected.BaudRate));
    QCOMPARE(int(got.Databits), int(expected.Databits));
    QCOMPARE(int(got.Parity), int(expected.Parity));
    QCOMPARE(int(got.Stopbits), int(expected.Stopbits));
    QVERIFY(got == expected); // and the values without a list are the port's

    // Shown again from the record, the lists read back what it holds.
    window.showSettings(got);
    QVERIFY(window.lineSettings(current()) == expected);
}

QTEST_MAIN(TestLineSettingsWindow)
#include "test_linesettingswindow.moc"
