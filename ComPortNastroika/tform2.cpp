#include "tform2.h"

#include "controlnames.h"
#include "typedbox.h"
#include "linesettingstables.h"

using ui::makeControl;
using ui::makeLabel;

namespace ComPortNastroika {

namespace {

QComboBox* makeList(QWidget* parent, const char* name, const QStringList& items, const QString& text, QRect geometry)
{
    auto* list = makeControl<QComboBox>(parent, name);
    ui::makeTypedBox(list);
    list->addItems(items);
    // Nothing is selected at first; only the text shows.
    list->setCurrentIndex(-1);
    list->setEditText(text);
    list->setGeometry(geometry);
    return list;
}

void selectPosition(QComboBox* list, int position)
{
    if (position < 0)
        return;
    list->setCurrentIndex(position);
    // A text typed but never applied must not outlive the showing: the list shows
    // what the port has.
    list->setEditText(list->itemText(position));
}

} // namespace

TForm2::TForm2(QWidget* parent)
    : QDialog(parent, Qt::Tool)
    , Speed(makeList(this, "Speed", speedItems(), QStringLiteral("4800"), {88, 8, 65, 19}))
    , BIT(makeList(this, "BIT", dataBitsItems(), QStringLiteral("8"), {88, 32, 49, 19}))
    , chetnost(makeList(this, "chetnost", parityItems(), QStringLiteral("None"), {88, 56, 65, 19}))
    , StopBit(makeList(this, "StopBit", stopBitsItems(), QStringLiteral("2"), {88, 80, 49, 19}))
    , Button1(makeControl<QPushButton>(this, "Button1", QStringLiteral("Применить")))
    , Button2(makeControl<QPushButton>(this, "Button2", QStringLiteral("Выход")))
{
    setObjectName(QStringLiteral("TForm2"));
    setWindowTitle(QStringLiteral("COM-порт настройка"));
    setFixedSize(172, 157);
    move(230, 69);

    makeLabel(this, "Label4", QStringLiteral("Скорость бит/с"), {8, 16});
    makeLabel(this, "Label5", QStringLiteral("Бит"), {56, 40});
    makeLabel(this, "Label6", QStringLiteral("Чётность"), {32, 64});
    makeLabel(this, "Label7", QStringLiteral("Стоп-бит"), {32, 88});
    Button1->setGeometry(8, 112, 75, 25);
    Button2->setGeometry(88, 112, 75, 25);
    Button1->setAutoDefault(false);
    Button2->setAutoDefault(false);

    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::close);
}

void TForm2::Button1Click()
{
    if (apply_)
        apply_();
}

void TForm2::showSettings(const commport::TLineSettings& settings)
{
    selectPosition(Speed, positionOf(settings.BaudRate));
    selectPosition(chetnost, positionOf(settings.Parity));
    selectPosition(StopBit, positionOf(settings.Stopbits));
}


QString TForm2::refusal() const
{
    // The list's text is what the operator sees and means, whether it was picked or
    // typed without Enter.
    const auto refused = [](const QComboBox* list, bool named, const QString& what) {
        const QString text = list->currentText().trimmed();
        return text.isEmpty() || named ? QString() : QStringLiteral("%1: «%2» не подходит.").arg(what, text);
    };
    QStringList problems;
    problems << refused(Speed, speedFromText(Speed->currentText()).has_value(),
                        QStringLiteral("Скорость (целое число бит/с, например 9600)"))
             << refused(BIT, dataBitsFromText(BIT->currentText()).has_value(), QStringLiteral("Бит (4-8)"))
             << refused(chetnost, parityFromText(chetnost->currentText()).has_value(),
                        QStringLiteral("Чётность (Even, Mark, None, Odd, Space)"))
             << refused(StopBit, stopBitsFromText(StopBit->currentText()).has_value(),
                        QStringLiteral("Стоп-бит (1, 1.5, 2)"));
    problems.removeAll(QString());
    if (problems.isEmpty())
        return QString();
    return problems.join(u'\n') + QStringLiteral("\nНастройки не применены.");
}

commport::TLineSettings TForm2::lineSettings(const commport::TLineSettings& current) const
{
    commport::TLineSettings settings = current;
    settings.BaudRate = speedFromText(Speed->currentText()).value_or(current.BaudRate);
    settings.Databits = dataBitsFromText(BIT->currentText()).value_or(current.Databits);
    settings.Parity = parityFromText(chetnost->currentText()).value_or(current.Parity);
    settings.Stopbits = stopBitsFromText(StopBit->currentText()).value_or(current.Stopbits);
    return settings;
}

} // namespace ComPortNastroika
