#include "memorypanel.h"

#include "addressfield.h"
#include "controlnames.h"
#include "logpane.h"
#include "typedbox.h"

#include <QKeyEvent>

using ui::makeControl;
using ui::makeLabel;

namespace memory {

namespace {

// The areas stand side by side above their panes, each column as wide as its pane.
constexpr int kColumnLeft = 6; // inside Panel1QL, which starts 2 pixels into QLpanelGL
constexpr int kColumnPitch = 150;
constexpr int kPaneWidth = 145;
constexpr int kRowHeight = 19;
constexpr int kFieldRow = 6;
constexpr int kBitRow = 32;

const QString kAddressHint = QStringLiteral("Для записи введите после адреса через пробел значение и нажмите Enter");
const QString kValueHint = QStringLiteral("Текущее значение по данному адресу");

int columnLeft(MemoryArea area)
{
    return kColumnLeft + kColumnPitch * area;
}

QLineEdit* makeAddressField(QWidget* parent, const char* name, MemoryArea area)
{
    auto* field = makeControl<QLineEdit>(parent, name, QString::fromLatin1(kMemoryAreas[area].defaultAddress));
    field->setGeometry(columnLeft(area) + 24, kFieldRow, 72, kRowHeight);
    field->setMaxLength(kAddressFieldMaxLength);
    field->setToolTip(kAddressHint);
    return field;
}

QLineEdit* makeValueField(QWidget* parent, const char* name, MemoryArea area)
{
    auto* field = makeControl<QLineEdit>(parent, name, QStringLiteral("00"));
    field->setGeometry(columnLeft(area) + 100, kFieldRow, 45, kRowHeight);
    field->setReadOnly(true);
    field->setToolTip(kValueHint);
    return field;
}

// A one-character box with the items "0" .. count-1; the user may type into it.
QComboBox* makeDigitBox(QWidget* parent, const char* name, int count, int left)
{
    auto* box = makeControl<QComboBox>(parent, name);
    ui::makeTypedBox(box);
    for (int item = 0; item < count; ++item)
        box->addItem(QString::number(item));
    box->lineEdit()->setMaxLength(1);
    box->setCurrentIndex(0);
    box->setGeometry(left, kBitRow, 34, kRowHeight + 2);
    return box;
}

QPushButton* makeBitButton(QWidget* parent, const char* name, MemoryArea area)
{
    auto* button = makeControl<QPushButton>(parent, name, QStringLiteral("бит замен.  на"));
    button->setGeometry(columnLeft(area) + 36, kBitRow, 73, kRowHeight + 2);
    return button;
}

void showBoxText(QComboBox* box, const QString& text)
{
    if (box->currentText() == text)
        return;
    const int item = box->findText(text);
    if (item >= 0)
        box->setCurrentIndex(item);
    else
        box->setEditText(text);
}

std::optional<MemoryKey> requestKey(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return MemoryKey::Enter;
    case Qt::Key_PageDown: return MemoryKey::PageDown;
    case Qt::Key_PageUp: return MemoryKey::PageUp;
    default: return std::nullopt;
    }
}

} // namespace

MemoryPanel::MemoryPanel(QWidget* clientArea)
    : QObject(clientArea)
    , QLpanelGL(makeControl<QFrame>(clientArea, "QLpanelGL"))
    , Panel1QL(makeControl<QFrame>(QLpanelGL, "Panel1QL"))
    , QLpanel(makeControl<QFrame>(QLpanelGL, "QLpanel"))
    , adressIR(makeAddressField(Panel1QL, "adressIR", AreaIR))
    , adressEX(makeAddressField(Panel1QL, "adressEX", AreaER))
    , adressIM(makeAddressField(Panel1QL, "adressIM", AreaIM))
    , adressIF(makeAddressField(Panel1QL, "adressIF", AreaIF))
    , contIR(makeValueField(Panel1QL, "contIR", AreaIR))
    , contEX(makeValueField(Panel1QL, "contEX", AreaER))
    , contIM(makeValueField(Panel1QL, "contIM", AreaIM))
    , contIF(makeValueField(Panel1QL, "contIF", AreaIF))
    , bitIR(makeDigitBox(Panel1QL, "bitIR", 8, columnLeft(AreaIR)))
    , ZamenaBitIR(makeBitButton(Panel1QL, "ZamenaBitIR", AreaIR))
    , ZambIR(makeDigitBox(Panel1QL, "ZambIR", 2, columnLeft(AreaIR) + 111))
    , BitEx(makeDigitBox(Panel1QL, "BitEx", 8, columnLeft(AreaER)))
    , ZamenaBitEX(makeBitButton(Panel1QL, "ZamenaBitEX", AreaER))
    , ZamBEX(makeDigitBox(Panel1QL, "ZamBEX", 2, columnLeft(AreaER) + 111))
    , VklEmul(makeControl<QPushButton>(QLpanel, "VklEmul", QStringLiteral("Включить")))
    , viklEmul(makeControl<QPushButton>(QLpanel, "viklEmul", QStringLiteral("Выключить")))
    , dannielistBoxQLIR(new ui::LogPane(QLpanelGL, "dannielistBoxQLIR"))
    , dannielistBoxQLEX(new ui::LogPane(QLpanelGL, "dannielistBoxQLEX"))
    , dannielistBoxQLIM(new ui::LogPane(QLpanelGL, "dannielistBoxQLIM"))
    , dannielistBoxQLIF(new ui::LogPane(QLpanelGL, "dannielistBoxQLIF"))
    , Memo1(new ui::LogPane(QLpanelGL, "Memo1"))
    , Memo2(new ui::LogPane(QLpanelGL, "Memo2"))
    , Label10(makeLabel(clientArea, "Label10", QStringLiteral("Для чтения введите адрес и нажмите Enter"), {400, 0}))
    , Label12(makeLabel(clientArea, "Label12", QStringLiteral("Для записи введите значение через пробел после адреса"),
                        {400, 16}))
    , Label13(makeLabel(clientArea, "Label13", QStringLiteral("и нажмите Enter"), {400, 32}))
{
    QLpanelGL->setFrameStyle(QFrame::Panel | QFrame::Raised);
    QLpanelGL->setGeometry(2, 56, 807, 321);
    QLpanelGL->hide();
    for (QLabel* hint : {Label10, Label12, Label13})
        hint->hide();

    Panel1QL->setGeometry(2, 2, 603, 58);
    static const char* const labelNames[] = {"LabelIR", "LabelEX", "LabelIM", "LabelIF"};
    for (int area = 0; area < MemoryAreaCount; ++area)
        makeLabel(Panel1QL, labelNames[area], QString::fromLatin1(kMemoryAreas[area].label),
                  {columnLeft(MemoryArea(area)), kFieldRow + 2});
    ZambIR->setCurrentIndex(0);
    ZamBEX->setCurrentIndex(0);

    QLpanel->setGeometry(607, 2, 196, 58);
    makeLabel(QLpanel, "LabelEmul", QStringLiteral("Эмуляция"), {8, 4});
    VklEmul->setGeometry(8, 24, 86, 25);
    viklEmul->setGeometry(100, 24, 86, 25);

    int left = 8;
    for (ui::LogPane* pane : areaPanes()) {
        pane->view()->setGeometry(left, 64, kPaneWidth, 157);
        left += kColumnPitch;
    }
    Memo1->view()->setGeometry(608, 64, 193, 157);
    Memo2->view()->setGeometry(8, 231, 797, 80);

    for (QLineEdit* field : addressFields())
        field->installEventFilter(this);
}

std::array<ui::LogPane*, MemoryAreaCount> MemoryPanel::areaPanes() const
{
    return {dannielistBoxQLIR, dannielistBoxQLEX, dannielistBoxQLIM, dannielistBoxQLIF};
}

std::array<QLineEdit*, MemoryAreaCount> MemoryPanel::addressFields() const
{
    return {adressIR, adressEX, adressIM, adressIF};
}

std::array<QLineEdit*, MemoryAreaCount> MemoryPanel::valueFields() const
{
    return {contIR, contEX, contIM, contIF};
}

MemoryControls MemoryPanel::controls() const
{
    MemoryControls c;
    const auto fields = addressFields();
    for (int area = 0; area < MemoryAreaCount; ++area)
        c.address[area] = fields[area]->text();
    c.bitIR = bitIR->currentText();
    c.ZambIR = ZambIR->currentText();
    c.BitEx = BitEx->currentText();
    c.ZamBEX = ZamBEX->currentText();
    return c;
}

void MemoryPanel::show(const MemoryControls& controls, const MemoryOutput& output)
{
    const auto fields = addressFields();
    const auto values = valueFields();
    const auto panes = areaPanes();
    for (int area = 0; area < MemoryAreaCount; ++area) {
        if (fields[area]->text() != controls.address[area])
            fields[area]->setText(controls.address[area]);
        if (output.carets[area])
            fields[area]->setCursorPosition(*output.carets[area]);
        if (output.values[area])
            values[area]->setText(*output.values[area]);
        for (const QString& line : output.paneLines[area])
            panes[area]->appendLine(line);
    }
    showBoxText(bitIR, controls.bitIR);
    showBoxText(ZambIR, controls.ZambIR);
    showBoxText(BitEx, controls.BitEx);
    showBoxText(ZamBEX, controls.ZamBEX);
    for (const QString& line : output.requestLog)
        Memo1->appendLine(line);
    for (const QString& line : output.exchangeLog)
        Memo2->appendLine(line);
}

bool MemoryPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress)
        for (int area = 0; area < MemoryAreaCount; ++area)
            if (watched == addressFields()[area]) {
                const auto* key = static_cast<const QKeyEvent*>(event);
                if (keyDown_)
                    keyDown_(MemoryArea(area), requestKey(key->key()).value_or(MemoryKey::Other));
                return addressKeyPress(addressFields()[area], key);
            }
    return QObject::eventFilter(watched, event);
}

// Returns true when the key is consumed here: the request keys, and characters the
// field does not take or takes in another form.
bool MemoryPanel::addressKeyPress(QLineEdit* field, const QKeyEvent* event)
{
    if (requestKey(event->key()))
        return true;
    const QString text = event->text();
    // Keys without a character (arrows, Home, shortcuts) are the field's own business.
    if (text.size() != 1 || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    const std::optional<QChar> accepted = addressKeyFilter(text.front());
    if (!accepted)
        return true;
    if (*accepted == text.front())
        return false;
    field->insert(QString(*accepted));
    return true;
}

} // namespace memory
