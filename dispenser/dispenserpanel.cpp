#include "dispenserpanel.h"

#include "controlnames.h"
#include "fieldformatvalidator.h"
#include "typedbox.h"

#include <QKeyEvent>

using ui::makeControl;
using ui::makeLabel;
using ui::makePlaced;

namespace dispenser {

namespace {

// The menu's buttons span its width; the pairs under a caption share a row.
constexpr int kMenuLeft = 8;
constexpr int kMenuWidth = 129;
constexpr int kButtonHeight = 20;
constexpr int kButtonPitch = 22;
constexpr int kFirstButtonTop = 30;
constexpr int kPairWidth = 63;
constexpr int kPairGap = 3;

// Pop-ups: a title, the field under it, the start button along the lower edge.
constexpr QRect kPopupField{8, 20, 121, 19};
constexpr QRect kPopupButton{4, 47, 129, 21};

ClickablePanel* makePopup(QWidget* parent, const char* name, QRect geometry)
{
    auto* panel = makeControl<ClickablePanel>(parent, name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAutoFillBackground(true);
    panel->setGeometry(geometry);
    panel->hide();
    return panel;
}

QPushButton* menuButton(QWidget* menu, const char* name, const QString& caption, int row)
{
    return makePlaced<QPushButton>(menu, name, caption, {kMenuLeft, kFirstButtonTop + row * kButtonPitch, kMenuWidth, kButtonHeight});
}

// The two buttons under a caption: left or right half of the menu's width.
QPushButton* pairButton(QWidget* menu, const char* name, const QString& caption, int top, bool right)
{
    return makePlaced<QPushButton>(menu, name, caption,
                      {kMenuLeft + (right ? kPairWidth + kPairGap : 0), top, kPairWidth, kButtonHeight});
}

QLineEdit* makeField(QWidget* popup, const char* name, MoneyField field)
{
    auto* edit = makeControl<QLineEdit>(popup, name, fieldResetText(field));
    edit->setGeometry(kPopupField);
    edit->setValidator(new FieldFormatValidator(field, edit));
    // Pasting and dropping go through the validator too; the context menu would only
    // offer edits it refuses.
    edit->setContextMenuPolicy(Qt::NoContextMenu);
    return edit;
}

// The rows under the buttons: caption, pair, caption, pair.
constexpr int kPriceCaptionTop = kFirstButtonTop + 11 * kButtonPitch + 2;
constexpr int kPriceButtonsTop = kPriceCaptionTop + 15;
constexpr int kTotalsCaptionTop = kPriceButtonsTop + kButtonHeight + 4;
constexpr int kTotalsButtonsTop = kTotalsCaptionTop + 15;

// Delete resets the field; Delete, Space and Shift go no further.
bool fieldKeyDown(QLineEdit* edit, MoneyField field, const QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Delete)
        edit->setText(fieldResetText(field));
    return key == Qt::Key_Delete || key == Qt::Key_Space || key == Qt::Key_Shift;
}

// Backspace resets the field, a digit enters at the right, letters and separators
// are dropped; anything else is the edit's own business (and its validator's).
bool fieldKeyPress(QLineEdit* edit, MoneyField field, const QKeyEvent* event)
{
    const QString text = event->text();
    if (event->key() == Qt::Key_Backspace || text == QStringLiteral("\b")) {
        edit->setText(fieldResetText(field));
        return true;
    }
    // Shortcuts (Ctrl+V and the like) are not typed characters.
    if (text.size() != 1 || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    const QChar c = text.at(0);
    if (c >= u'0' && c <= u'9') {
        edit->setText(shiftDigitIn(field, edit->text(), c));
        return true;
    }
    return c == u',' || c == u'.' || c.isLetter();
}

} // namespace

DispenserPanel::DispenserPanel(QWidget* clientArea)
    : QObject(clientArea)
    , MenyPanel(makeControl<QFrame>(clientArea, "MenyPanel"))
    , trkedit(makeControl<QComboBox>(MenyPanel, "trkedit"))
    , StatPanel(makeControl<QGroupBox>(MenyPanel, "StatPanel", QStringLiteral("Статус")))
    , Danstat(makeControl<QLineEdit>(StatPanel, "Danstat", QStringLiteral("00 00 00")))
    , StatSost(makeControl<QLineEdit>(StatPanel, "StatSost", QStringLiteral("00")))
    , OtprSumPanel1(makePopup(clientArea, "OtprSumPanel1", {72, 328, 137, 73}))
    , OtpLitrPanel1(makePopup(clientArea, "OtpLitrPanel1", {240, 320, 137, 73}))
    , SumPanel(makePopup(clientArea, "SumPanel", {232, 244, 137, 73}))
    , SummarnikiPanel(makePopup(clientArea, "SummarnikiPanel", {288, 216, 209, 113}))
    , NeflitrSum(makeControl<QLabel>(SummarnikiPanel, "NeflitrSum"))
    , flitrSum(makeControl<QLabel>(SummarnikiPanel, "flitrSum"))
    , NefDenSum(makeControl<QLabel>(SummarnikiPanel, "NefDenSum"))
    , ActivirovatButton(menuButton(MenyPanel, "ActivirovatButton", QStringLiteral("Активировать"), 0))
    , OstanovitButton(menuButton(MenyPanel, "OstanovitButton", QStringLiteral("Приостановить"), 1))
    , ProdolzitButton(menuButton(MenyPanel, "ProdolzitButton", QStringLiteral("Продолжить"), 2))
    , Button1(menuButton(MenyPanel, "Button1", QStringLiteral("Остановить"), 3))
    , PassivizirButton(menuButton(MenyPanel, "PassivizirButton", QStringLiteral("Пассивизировать"), 4))
    , VersiaButton(menuButton(MenyPanel, "VersiaButton", QStringLiteral("Версия"), 5))
    , StatusButton(menuButton(MenyPanel, "StatusButton", QStringLiteral("Запрос статуса"), 6))
    , VklKlapButton(menuButton(MenyPanel, "VklKlapButton", QStringLiteral("Включить клапан"), 7))
    , ViklKlapButton(menuButton(MenyPanel, "ViklKlapButton", QStringLiteral("Выключить клапан"), 8))
    , OtpLitrButton(menuButton(MenyPanel, "OtpLitrButton", QStringLiteral("Отпуск (литры)"), 9))
    , OtpSumButton(menuButton(MenyPanel, "OtpSumButton", QStringLiteral("Отпуск (сумма)"), 10))
    , SumLitrChitButton(pairButton(MenyPanel, "SumLitrChitButton", QStringLiteral("Считать"), kPriceButtonsTop, false))
    , SumLitrZadatButton(pairButton(MenyPanel, "SumLitrZadatButton", QStringLiteral("Задать"), kPriceButtonsTop, true))
    , SumChitButton(pairButton(MenyPanel, "SumChitButton", QStringLiteral("Считать"), kTotalsButtonsTop, false))
    , ObnulSumButton(pairButton(MenyPanel, "ObnulSumButton", QStringLiteral("Обнулить"), kTotalsButtonsTop, true))
    , litri(makeField(OtpLitrPanel1, "litri", MoneyField::Volume))
    , OtpLitr(makePlaced<QPushButton>(OtpLitrPanel1, "OtpLitr", QStringLiteral("Начать отпуск литры"), kPopupButton))
    , Stoimost(makeField(OtprSumPanel1, "Stoimost", MoneyField::Money))
    , OtprSum(makePlaced<QPushButton>(OtprSumPanel1, "OtprSum", QStringLiteral("Начать отпуск сумма"), kPopupButton))
    , stoimlitr(makeField(SumPanel, "stoimlitr", MoneyField::PricePerLitre))
    , zadatsumPanel(makePlaced<QPushButton>(SumPanel, "zadatsumPanel", QStringLiteral("Задать"), kPopupButton))
{
    MenyPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    MenyPanel->setGeometry(432, 24, 145, 457);

    makeLabel(MenyPanel, "Label15", QStringLiteral("Рукав"), {8, 12});
    ui::makeTypedBox(trkedit);
    for (int hose = 1; hose <= 7; ++hose)
        trkedit->addItem(QString::number(hose));
    trkedit->lineEdit()->setMaxLength(1);
    trkedit->setEditText(QStringLiteral("1"));
    trkedit->setGeometry(40, 8, 41, 19);
    makeLabel(MenyPanel, "Label16", QStringLiteral("1-7"), {88, 12});

    makeLabel(MenyPanel, "StoimostLitraLabel", QStringLiteral("Стоимость 1 литра"), {kMenuLeft, kPriceCaptionTop});
    makeLabel(MenyPanel, "SummarnikiLabel", QStringLiteral("Суммарники"), {kMenuLeft, kTotalsCaptionTop});

    StatPanel->setGeometry(2, 360, 137, 73);
    Danstat->setGeometry(8, 20, 121, 19);
    StatSost->setGeometry(8, 44, 41, 19);
    Danstat->setReadOnly(true);
    StatSost->setReadOnly(true);

    makeLabel(OtpLitrPanel1, "Label17", QStringLiteral("Литры"), {8, 4});
    makeLabel(OtprSumPanel1, "Label18", QStringLiteral("Сумма"), {8, 4});
    makeLabel(SumPanel, "Label19", QStringLiteral("Стоимость 1 литра"), {8, 4});

    makeLabel(SummarnikiPanel, "Label20", QStringLiteral("Фискальный литровый сумматор:"), {8, 6});
    makeLabel(SummarnikiPanel, "Label21", QStringLiteral("Нефискальный литровый сумматор:"), {8, 40});
    makeLabel(SummarnikiPanel, "Label22", QStringLiteral("Нефискальный денежный сумматор:"), {8, 74});
    NeflitrSum->setGeometry(16, 21, 185, 15);
    flitrSum->setGeometry(16, 55, 185, 15);
    NefDenSum->setGeometry(16, 89, 185, 15);

    for (QLineEdit* field : {litri, Stoimost, stoimlitr})
        field->installEventFilter(this);
}

bool DispenserPanel::stoimlitrKeyDown(const QKeyEvent* event)
{
    return fieldKeyDown(stoimlitr, MoneyField::PricePerLitre, event);
}

bool DispenserPanel::stoimlitrKeyPress(const QKeyEvent* event)
{
    return fieldKeyPress(stoimlitr, MoneyField::PricePerLitre, event);
}

bool DispenserPanel::litriKeyDown(const QKeyEvent* event)
{
    return fieldKeyDown(litri, MoneyField::Volume, event);
}

bool DispenserPanel::litriKeyPress(const QKeyEvent* event)
{
    return fieldKeyPress(litri, MoneyField::Volume, event);
}

bool DispenserPanel::StoimostKeyDown(const QKeyEvent* event)
{
    return fieldKeyDown(Stoimost, MoneyField::Money, event);
}

bool DispenserPanel::StoimostKeyPress(const QKeyEvent* event)
{
    return fieldKeyPress(Stoimost, MoneyField::Money, event);
}

bool DispenserPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (watched == stoimlitr)
        return stoimlitrKeyDown(key) || stoimlitrKeyPress(key);
    if (watched == litri)
        return litriKeyDown(key) || litriKeyPress(key);
    if (watched == Stoimost)
        return StoimostKeyDown(key) || StoimostKeyPress(key);
    return QObject::eventFilter(watched, event);
}

} // namespace dispenser
