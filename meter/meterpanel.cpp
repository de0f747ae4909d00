#include "meterpanel.h"

#include "controlnames.h"
#include "logpane.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using ui::makeControl;
using ui::makePlaced;

namespace meter {

namespace {

// The setting rows: one per phase.
constexpr int kRowTop = 38;
constexpr int kRowPitch = 24;
constexpr int kColumnPitch = 120;

QLabel* caption(QWidget* parent, const QString& text, QPoint at)
{
    auto* label = new QLabel(text, parent);
    label->move(at);
    label->adjustSize();
    return label;
}

} // namespace

MeterPanel::MeterPanel(QWidget* clientArea)
    : QObject(clientArea)
    , ERK2Panel(makeControl<QFrame>(clientArea, "ERK2Panel"))
    , Memo_log(new ui::LogPane(ERK2Panel, "Memo_log"))
{
    ERK2Panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    ERK2Panel->setGeometry(0, 56, 825, 441);
    ERK2Panel->hide();
    Memo_log->view()->setGeometry(520, 8, 297, 425);

    buildReadings();

    auto* voltage = makePlaced<QGroupBox>(ERK2Panel, "napryazhenieGroup", QStringLiteral("напряжение"), {144, 4, 368, 116});
    buildSettingColumns(voltage, 0, {"коррекция", "Нижний предел", "Верхний предел"});
    auto* current = makePlaced<QGroupBox>(ERK2Panel, "silaTokaGroup", QStringLiteral("Сила тока"), {144, 124, 248, 116});
    buildSettingColumns(current, 9, {"коррекция", "верхний предел"});

    buildGroups();
}

void MeterPanel::buildReadings()
{
    // Three rows per group (voltage, current, power), a gap between the groups.
    for (int i = 0; i < kMeasuredCount; ++i) {
        const QuantityInfo& info = kQuantities[static_cast<std::size_t>(i)];
        const int y = 12 + (i / 3) * 64 + (i % 3) * 20;
        caption(ERK2Panel, QString::fromUtf8(info.rowCaption), {16, y + 1});
        auto* value = makeControl<QLabel>(ERK2Panel, labelName(info.quantity), QStringLiteral("0"));
        value->setGeometry(48, y, 89, 17);
        value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        readings[static_cast<std::size_t>(i)] = value;
    }
    caption(ERK2Panel, QStringLiteral("Σw"), {16, 205});
    summ_wat = makeControl<QLabel>(ERK2Panel, "summ_wat");
    summ_wat->setGeometry(48, 204, 89, 17);
    summ_wat->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    read_all = makePlaced<QPushButton>(ERK2Panel, "read_all", QStringLiteral("Читать"), {8, 232, 129, 25});
    read_combo = makeControl<QComboBox>(ERK2Panel, "read_combo");
    read_combo->addItems({QStringLiteral("читаь все"), QStringLiteral("V1"), QStringLiteral("V2"), QStringLiteral("V3"),
                          QStringLiteral("A1"), QStringLiteral("A2"), QStringLiteral("A3"), QStringLiteral("W1"),
                          QStringLiteral("W2"), QStringLiteral("W3")});
    read_combo->setGeometry(8, 262, 129, 21);

    clear_log_Button = makePlaced<QPushButton>(ERK2Panel, "clear_log_Button", QStringLiteral("Очистить"), {8, 408, 129, 25});
}

void MeterPanel::buildSettingColumns(QGroupBox* group, int first, std::initializer_list<const char*> captions)
{
    int column = 0;
    for (const char* columnCaption : captions) {
        const int x = 8 + column * kColumnPitch;
        caption(group, QString::fromUtf8(columnCaption), {x, 20});
        for (int phase = 0; phase < 3; ++phase) {
            const auto setting = static_cast<std::size_t>(first + column * 3 + phase);
            const SettingInfo& info = kSettings[setting];
            const int y = kRowTop + phase * kRowPitch;
            auto* field = makeControl<QLineEdit>(group, info.field, QString::fromLatin1(info.defaultText));
            field->setGeometry(x, y, 57, 21);
            settingFields[setting] = field;
            readButtons[setting] = makePlaced<QPushButton>(group, info.readButton, QStringLiteral("R"), {x + 60, y, 23, 21});
            writeButtons[setting] = makePlaced<QPushButton>(group, info.writeButton, QStringLiteral("W"), {x + 86, y, 23, 21});
        }
        ++column;
    }
}

void MeterPanel::buildGroups()
{
    Panel3 = makePlaced<QGroupBox>(ERK2Panel, "Panel3", QStringLiteral("Коррекция"), {400, 124, 112, 116});
    rd_kor_all = makePlaced<QPushButton>(Panel3, "rd_kor_all", QStringLiteral("Читать все"), {8, 32, 97, 25});
    wr_kor_all = makePlaced<QPushButton>(Panel3, "wr_kor_all", QStringLiteral("Записать все"), {8, 68, 97, 25});

    Panel1 = makePlaced<QGroupBox>(ERK2Panel, "Panel1", QStringLiteral("Индикация"), {144, 244, 368, 72});
    for (int k = 0; k < kIndicationChannels; ++k) {
        const QByteArray name = "Ind_ch" + QByteArray::number(k);
        auto* channel = makeControl<QCheckBox>(Panel1, name.constData(), QString::number(k));
        channel->setGeometry(8 + k * 40, 20, 37, 17);
        Ind_ch[static_cast<std::size_t>(k)] = channel;
    }
    Button2 = makePlaced<QPushButton>(Panel1, "Button2", QStringLiteral("Программировать"), {8, 42, 121, 23});

    Panel2 = makePlaced<QGroupBox>(ERK2Panel, "Panel2", QStringLiteral("Адрес"), {144, 320, 368, 52});
    edit_adr_zap = makeControl<QLineEdit>(Panel2, "edit_adr_zap", QStringLiteral("11"));
    edit_adr_zap->setGeometry(8, 20, 33, 21);
    Button3 = makePlaced<QPushButton>(Panel2, "Button3", QStringLiteral("Изменить"), {48, 19, 89, 23});
    Button22 = makePlaced<QPushButton>(Panel2, "Button22", QStringLiteral("Прочитать"), {144, 19, 89, 23});
}

} // namespace meter
