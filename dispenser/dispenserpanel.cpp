#include "dispenserpanel.h"

#include "controlnames.h"

using transport::makeControl;

namespace dispenser {

namespace {

ClickablePanel* makePopup(QWidget* parent, const char* name, QRect geometry)
{
    auto* panel = makeControl<ClickablePanel>(parent, name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAutoFillBackground(true);
    panel->setGeometry(geometry);
    panel->hide();
    return panel;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, QPoint at)
{
    auto* label = makeControl<QLabel>(parent, name, caption);
    label->move(at);
    label->adjustSize();
    return label;
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
{
    MenyPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    MenyPanel->setGeometry(432, 24, 145, 457);

    makeLabel(MenyPanel, "Label15", QStringLiteral("Рукав"), {8, 12});
    trkedit->setEditable(true);
    for (int hose = 1; hose <= 7; ++hose)
        trkedit->addItem(QString::number(hose));
    trkedit->lineEdit()->setMaxLength(1);
    trkedit->setEditText(QStringLiteral("1"));
    trkedit->setGeometry(40, 8, 41, 19);
    makeLabel(MenyPanel, "Label16", QStringLiteral("1-7"), {88, 12});

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
}

} // namespace dispenser
