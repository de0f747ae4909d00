// Every box the operator may type into keeps what was typed: a typed controller address,
// hose, speed or port name is never completed into another one on the way to the device.

#include "consoletestbench.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace qldixw::testing;

namespace {

// As the operator types: into the focused box of the active window, where the box's
// completer is at work.
void typeInto(QComboBox* box, const QString& text)
{
    QWidget* window = box->window();
    window->show();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    box->setFocus();
    box->lineEdit()->clear();
    QTest::keyClicks(box, text);
}

} // namespace

class TestTypedBoxes : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void everyEditableBoxKeepsATypedPrefix();
    void typedAddressIsTheAddressReached_data();
    void typedAddressIsTheAddressReached();

private:
    std::unique_ptr<ConsoleTestBench> bench_;
};

void TestTypedBoxes::init()
{
    bench_ = std::make_unique<ConsoleTestBench>();
}

void TestTypedBoxes::cleanup()
{
    bench_.reset();
}

// A strict prefix of an item that is no item itself is what an inline completer
// completes: "1" of the address box becomes "10", "C" of the port box "COM1".
void TestTypedBoxes::everyEditableBoxKeepsATypedPrefix()
{
    // The families' panels and the line-settings window are made on first use.
    for (Mode mode : {ModeQL, ModeERK2, ModeDIX})
        bench_->selectMode(mode);
    QList<QComboBox*> boxes = bench_->window().findChildren<QComboBox*>();
    boxes += bench_->windows().Form2()->findChildren<QComboBox*>();

    QStringList checked;
    for (QComboBox* box : boxes) {
        if (!box->isEditable())
            continue;
        QString prefix;
        for (int i = 0; i < box->count() && prefix.isEmpty(); ++i) {
            const QString item = box->itemText(i);
            for (qsizetype length = 1; length < item.size() && prefix.isEmpty(); ++length)
                if (box->findText(item.left(length), Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0)
                    prefix = item.left(length);
        }
        if (prefix.isEmpty())
            continue; // one-character items: nothing to complete
        typeInto(box, prefix);
        QCOMPARE(box->currentText(), prefix);
        // Leaving the box does not swap the text for an item either.
        box->lineEdit()->clearFocus();
        QCOMPARE(box->currentText(), prefix);
        checked << box->objectName();
    }
    // At least the address box, the port box and the line-settings lists with longer items.
    for (const char* name : {"kontroller", "COM", "Speed", "chetnost", "StopBit"})
        QVERIFY2(checked.contains(QLatin1String(name)), name);
}

void TestTypedBoxes::typedAddressIsTheAddressReached_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("wire");
    QTest::newRow("1 is 01") << "1" << "60 01 81 FB";
    QTest::newRow("7 is 07") << "7" << "60 07 81 E3";
    QTest::newRow("7f is 7F") << "7f" << "60 7F 81 02";
}

void TestTypedBoxes::typedAddressIsTheAddressReached()
{
    QFETCH(QString, typed);
    QFETCH(QString, wire);
    QVERIFY(bench_->openPort());
    auto* address = bench_->control<QComboBox>(QStringLiteral("kontroller"));
    typeInto(address, typed);
    QCOMPARE(address->currentText(), typed);

    QTest::mouseClick(bench_->control<QPushButton>(QStringLiteral("StatusButton")), Qt::LeftButton);
    const std::string sent = bench_->device().receive(4);
    QCOMPARE(QString::fromLatin1(QByteArray::fromStdString(sent).toHex(' ').toUpper()), wire);
}

QTEST_MAIN(TestTypedBoxes)
#include "test_typedboxes.moc"
