// What a typed key becomes in an address field, what the field's text asks for with
// each key, and the address a bit replacement takes from it.

#include "addressfield.h"
#include "memorydecoder.h"
#include "../support/heardframes.h"

#include <QTest>

using namespace memory;

Q_DECLARE_METATYPE(memory::MemoryKey)

class TestMemoryRequests : public QObject {
    Q_OBJECT
private slots:
    void keyFilter_data();
    void keyFilter();
    void addressField_data();
    void addressField();
    void bitReplacementAddress_data();
    void bitReplacementAddress();
    void heardFrames_data();
    void heardFrames();
};

void TestMemoryRequests::keyFilter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("inserted"); // empty: the key is dropped

    QTest::newRow("Latin lower case") << "abcdef" << "ABCDEF";
    QTest::newRow("Cyrillic on the same keys, both cases") << "фФиИсСвВуУаА" << "AABBCCDDEEFF";
    QTest::newRow("what passes unchanged") << "0123456789ABCDEF #" << "0123456789ABCDEF #";
    QTest::newRow("control characters") << "\b\r\x1b" << "\b\r\x1b";
    // The code page's bytes BA..BF, which the field takes as typed.
    QTest::newRow("code page 1251 BA-BF") << "є»јЅѕї" << "є»јЅѕї";
    QTest::newRow("asterisk") << "*" << "";
    QTest::newRow("other letters") << "GgzЯйё" << "";
    QTest::newRow("punctuation and the sign before BA") << ",.-+:№" << "";
    QTest::newRow("character with no code page byte") << "€€中" << "";
}

void TestMemoryRequests::keyFilter()
{
    QFETCH(QString, typed);
    QFETCH(QString, inserted);
    QString out;
    for (QChar c : typed)
        if (const std::optional<QChar> kept = addressKeyFilter(c))
            out += *kept;
    QCOMPARE(out, inserted);
}

void TestMemoryRequests::addressField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<MemoryKey>("key");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("fieldText");
    QTest::addColumn<int>("caret");

    const auto read = [](const char* name, QString text, MemoryKey key, QString address) {
        QTest::newRow(name) << text << key << int(AddressFieldRequest::Read) << address << QString() << address << 6;
    };
    const auto write = [](const char* name, QString text, QString address, QString value) {
        QTest::newRow(name) << text << MemoryKey::Enter << int(AddressFieldRequest::Write) << address << value
                            << address + u' ' + value << 9;
    };
    const auto refused = [](const char* name, QString text, MemoryKey key, AddressFieldRequest::Kind kind) {
        QTest::newRow(name) << text << key << int(kind) << QString() << QString() << QString() << 0;
    };

    read("short address padded", "24", MemoryKey::Enter, "000024");
    read("empty field reads 000000", "", MemoryKey::Enter, "000000");
    read("blanks around", "  1F  ", MemoryKey::Enter, "00001F");
    read("Page Down steps on", "000010", MemoryKey::PageDown, "000011");
    read("Page Up steps back", "10", MemoryKey::PageUp, "00000F");
    read("Page Down stops at FFFFFF", "FFFFFF", MemoryKey::PageDown, "FFFFFF");
    read("Page Up stops at 000000", "000000", MemoryKey::PageUp, "000000");
    read("Page Down drops the value", "10 55", MemoryKey::PageDown, "000011");
    read("Page Up drops the value", "10  55", MemoryKey::PageUp, "00000F");
    read("Page Down drops an over-long value", "10 555", MemoryKey::PageDown, "000011");

    write("one value digit", "10 5", "000010", "05");
    write("runs of blanks collapse", " 24  5A ", "000024", "5A");
    write("full width", "FFFFFF FF", "FFFFFF", "FF");

    refused("two blanks", "1 2 3", MemoryKey::Enter, AddressFieldRequest::TwoBlanks);
    refused("two blanks, stray letter after them", "1 2 G", MemoryKey::Enter, AddressFieldRequest::TwoBlanks);
    refused("two blanks also refuse Page Down", "1 2 3", MemoryKey::PageDown, AddressFieldRequest::TwoBlanks);
    refused("stray letter before the second blank", "1G 2 3", MemoryKey::Enter, AddressFieldRequest::Refused);
    refused("lower case", "00002a", MemoryKey::Enter, AddressFieldRequest::Refused);
    refused("a character the filter lets through", "24#", MemoryKey::Enter, AddressFieldRequest::Refused);
    refused("address of seven digits", "1234567", MemoryKey::Enter, AddressFieldRequest::Refused);
    refused("write address of seven digits", "1234567 5", MemoryKey::Enter, AddressFieldRequest::Refused);
    refused("value of three digits", "10 555", MemoryKey::Enter, AddressFieldRequest::Refused);
    refused("text over nine characters", "0000010 05", MemoryKey::Enter, AddressFieldRequest::Refused);
    refused("nine characters plus a blank", "000010 55 ", MemoryKey::Enter, AddressFieldRequest::Refused);
}

void TestMemoryRequests::addressField()
{
    QFETCH(QString, text);
    QFETCH(MemoryKey, key);
    QFETCH(int, kind);
    const AddressFieldRequest request = parseAddressField(text, key);
    QCOMPARE(int(request.kind), kind);
    if (kind != AddressFieldRequest::Read && kind != AddressFieldRequest::Write)
        return;
    QTEST(request.address, "address");
    QTEST(request.value, "value");
    QTEST(request.fieldText, "fieldText");
    QTEST(request.caret, "caret");
}

void TestMemoryRequests::bitReplacementAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address");
    QTest::newRow("address") << "24" << "000024";
    QTest::newRow("value ignored") << "10 55" << "000010";
    QTest::newRow("empty") << "" << "000000";
    QTest::newRow("blanks collapse") << " 10   5 " << "000010";
    QTest::newRow("not hex") << "1G" << "1";
    QTest::newRow("lower case") << "1f" << "1";
    QTest::newRow("two blanks") << "1 2 3" << "1";
    QTest::newRow("seven digits") << "1234567" << "1";
    QTest::newRow("over nine characters") << "000010 555" << "1";
}

void TestMemoryRequests::bitReplacementAddress()
{
    QFETCH(QString, text);
    QTEST(adressyach(text), "address");
}

// What a listener on the line is told of the memory exchange's frames (the monitor shows
// it after each frame's bytes): the preamble named by the mode's own text, area requests
// by the areas' codes, replies read against what was asked.
void TestMemoryRequests::heardFrames_data()
{
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QStringList>("described");
    QTest::newRow("a write and its reply")
        << QStringList{"A C9 00 00 10 05", "B C9 05 00"} << QStringList{"запись IR 000010 := 05", "ответ на запись IR 000010 (не проверяется)"};
    QTest::newRow("a read refused") << QStringList{"A CA 01 00 00 00", "B CA 00 FF"}
                                    << QStringList{"чтение ER 010000", "ER 010000: ошибка (FF)"};
    QTest::newRow("an acknowledgement out of turn") << QStringList{"B C0"} << QStringList{"C0 без запроса доступа"};
    QTest::newRow("the preamble, then a reply that is no acknowledgement")
        << QStringList{"A 60 01 00 * C0", "B C8 00 00"} << QStringList{"доступ к памяти, адрес 01", "неожиданный ответ: ждали C0"};
}

void TestMemoryRequests::heardFrames()
{
    QFETCH(QStringList, frames);
    QFETCH(QStringList, described);
    const std::unique_ptr<linecapture::FrameDecoder> decoder = makeMemoryDecoder();
    QCOMPARE(qldixw::testing::heardFrames(*decoder, frames), described);
}

QTEST_APPLESS_MAIN(TestMemoryRequests)
#include "test_memoryrequests.moc"
