#include "tform1.h"

#include "controlnames.h"

#include <QMenuBar>
#include <QRadioButton>
#include <QResizeEvent>

using transport::makeControl;
using transport::makeLabel;
using transport::nameControl;

namespace mainwindow {

namespace {

constexpr QSize kStartOuterSize{856, 729};
constexpr QPoint kStartPosition{286, 157};
constexpr QSize kMinimumOuterSize{750, 490};

QMenu* makeMenu(QMenuBar* bar, const char* name, const QString& caption)
{
    QMenu* menu = nameControl(bar->addMenu(caption), name);
    return menu;
}

} // namespace

TForm1::TForm1()
    : clientArea(nameControl(new QWidget, "TForm1_client"))
    , EditFile(makeMenu(menuBar(), "EditFile", QStringLiteral("Файл")))
    , N7(makeMenu(menuBar(), "N7", QStringLiteral("Настройка")))
    , N6(makeMenu(menuBar(), "N6", QStringLiteral("Справка")))
    , COMnastroika(nameControl(N7->addAction(QStringLiteral("COM-порт")), "COMnastroika"))
    , Label2(makeLabel(clientArea, "Label2", QStringLiteral("Порт"), {8, 0}))
    , OpenPort(makeControl<QPushButton>(clientArea, "OpenPort", QStringLiteral("Открыть")))
    , ClosePort(makeControl<QPushButton>(clientArea, "ClosePort", QStringLiteral("Закрыть")))
    , Label3(makeLabel(clientArea, "Label3", QStringLiteral("Выбор COM-порта"), {8, 32}))
    , COM(makeControl<QComboBox>(clientArea, "COM"))
    , Label11(makeControl<QLabel>(clientArea, "Label11", QStringLiteral("COM-порт закрыт")))
    , prog(makeControl<QGroupBox>(clientArea, "prog"))
    , progItems(new QButtonGroup(this))
    , Label23(makeLabel(clientArea, "Label23", QStringLiteral("Адрес"), {304, 8}))
    , kontroller(makeControl<QComboBox>(clientArea, "kontroller"))
    , Label24(makeLabel(clientArea, "Label24", QStringLiteral("01-7F"), {360, 32}))
    , Label10(makeLabel(clientArea, "Label10", QStringLiteral("Для чтения введите адрес и нажмите Enter"), {400, 0}))
    , Label12(makeLabel(clientArea, "Label12", QStringLiteral("Для записи введите значение через пробел после адреса"), {400, 16}))
    , Label13(makeLabel(clientArea, "Label13", QStringLiteral("и нажмите Enter"), {400, 32}))
    , proteus_check(makeControl<QCheckBox>(clientArea, "proteus_check", QStringLiteral("Протеус")))
    , console(new transport::ConsolePanel(clientArea))
    , dispenser(new dispenser::DispenserPanel(clientArea))
    , memoryPanel(new memory::MemoryPanel(clientArea))
    , meterPanel(new meter::MeterPanel(clientArea))
    , transport(new transport::Transport(Comm1, state,
                                         {.kontroller = kontroller,
                                          .trkedit = dispenser->trkedit,
                                          .proteus_check = proteus_check,
                                          .Memo2 = memoryPanel->Memo2,
                                          .showRequestText = [this](const QString& text) { console->otpravedit->setText(text); },
                                          .currentMode = [this] { return mode(); }},
                                         this))
    , dispenserMode(state, *transport, kontroller, proteus_check, *console, *dispenser,
                    {.skritPanelki = [this] { skritPanelki(); },
                     .windowTop = [this] { return frameGeometry().top(); },
                     .captionHeight = [this] { return chrome().caption; }})
    , memoryReception(memoryPanel->Memo2, memoryPanel->Memo1)
    , meterReception(kontroller, meterPanel->Memo_log)
{
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("QLDIXw V2.32"));
    setCentralWidget(clientArea);

    prog->setGeometry(184, -8, 89, 57);
    const char* const modeNames[] = {"prog_DIX", "prog_QL", "prog_ERK2"};
    const QString modeCaptions[] = {QStringLiteral("DIX"), QStringLiteral("QL"), QStringLiteral("ЭРК-2")};
    for (int item = 0; item < 3; ++item) {
        auto* button = makeControl<QRadioButton>(prog, modeNames[item], modeCaptions[item]);
        button->setGeometry(8, 10 + 15 * item, 75, 15);
        progItems->addButton(button, item);
    }
    progItems->button(ModeDIX)->setChecked(true);
    connect(progItems, &QButtonGroup::idClicked, this, [this] { progClick(); });

    kontroller->setEditable(true);
    kontroller->setGeometry(304, 24, 49, 19);
    kontroller->setInsertPolicy(QComboBox::NoInsert);
    for (QLabel* hint : {Label10, Label12, Label13})
        hint->hide();
    proteus_check->setGeometry(664, 0, 97, 17);

    connect(dispenser->OtprSumPanel1, &dispenser::ClickablePanel::clicked, this, &TForm1::OtprSumPanel1Click);
    connect(dispenser->OtpLitrPanel1, &dispenser::ClickablePanel::clicked, this, &TForm1::OtpLitrPanel1Click);
    connect(dispenser->SumPanel, &dispenser::ClickablePanel::clicked, this, &TForm1::SumPanelClick);
    connect(dispenser->SummarnikiPanel, &dispenser::ClickablePanel::clicked, this, &TForm1::SummarnikiPanelClick);

    transport->setModes({&dispenserMode.reception, &memoryReception, &meterReception});
    console->setSender([this](const QString& text) { transport->obrabZapstr(text); });

    setupPortControls();
    setupComm1();

    applyOuterGeometryLimits();
    move(kStartPosition);
    FormCreate();
}

TForm1::~TForm1()
{
    // The event thread hands events to this window: it must be gone before the window.
    Comm1.Close();
}

void TForm1::FormCreate()
{
    FormResize();
    Comportname();

    for (int address = 1; address <= 0x7F; ++address)
        kontroller->addItem(QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0')).toUpper());
    kontroller->lineEdit()->setMaxLength(2);
    kontroller->setEditText(QStringLiteral("01"));

    state.controlRequests = transport::defaultControlRequests();
    COMChange();
}

// The start size and the minimum size are outer sizes; Qt sizes the client area.
void TForm1::applyOuterGeometryLimits()
{
    const WindowChrome c = chrome();
    const bool atStartSize = !startClientSize_.isValid() || size() == startClientSize_;
    appliedChrome_ = c;
    const int horizontal = 2 * c.frame;
    const int vertical = c.caption + 2 * c.frame;
    setMinimumSize(kMinimumOuterSize.width() - horizontal, kMinimumOuterSize.height() - vertical);
    if (atStartSize) {
        startClientSize_ = QSize(kStartOuterSize.width() - horizontal, kStartOuterSize.height() - vertical);
        resize(startClientSize_);
    }
}

int TForm1::outerWidth() const
{
    return width() + 2 * chrome().frame;
}

int TForm1::outerHeight() const
{
    const WindowChrome c = chrome();
    return height() + c.caption + 2 * c.frame;
}

int TForm1::mode() const
{
    return progItems->checkedId();
}

void TForm1::skritPanelki()
{
    for (QWidget* panel : std::initializer_list<QWidget*>{
             dispenser->OtpLitrPanel1, dispenser->SumPanel, dispenser->OtprSumPanel1, dispenser->SummarnikiPanel,
             console->RabPanel, memoryPanel->QLpanelGL, meterPanel->ERK2Panel, dispenser->MenyPanel})
        panel->hide();
}

void TForm1::progClick()
{
    skritPanelki();
    switch (mode()) {
    case ModeERK2:
        meterPanel->ERK2Panel->show();
        break;
    case ModeQL:
        dispenser->MenyPanel->hide();
        console->RabPanel->hide();
        memoryPanel->QLpanelGL->show();
        for (QLabel* hint : {Label10, Label12, Label13})
            hint->show();
        break;
    case ModeDIX:
        dispenser->MenyPanel->show();
        console->RabPanel->show();
        memoryPanel->QLpanelGL->hide();
        for (QLabel* hint : {Label10, Label12, Label13})
            hint->hide();
        break;
    }
}

void TForm1::OtprSumPanel1Click()
{
    skritPanelki();
    console->RabPanel->show();
    dispenser->MenyPanel->show();
}

void TForm1::SummarnikiPanelClick()
{
    skritPanelki();
    console->RabPanel->show();
    dispenser->MenyPanel->show();
}

void TForm1::OtpLitrPanel1Click()
{
    skritPanelki();
}

void TForm1::SumPanelClick()
{
    skritPanelki();
}

void TForm1::FormResize()
{
    QFrame* const meny = dispenser->MenyPanel;
    QFrame* const rab = console->RabPanel;
    QFrame* const ql = memoryPanel->QLpanelGL;
    QPlainTextEdit* const log = console->dannieListBox1;
    const int chromeHeight = chrome().total();

    meny->move(outerWidth() - meny->width() - 10, meny->y());
    meny->resize(meny->width(), outerHeight() - meny->y() - 10 - chromeHeight);
    rab->resize(outerWidth() - meny->width() - 20, rab->height());
    log->resize(rab->width() - 10, log->height());
    console->otpravedit->resize(log->width(), console->otpravedit->height());

    dispenser->OtprSumPanel1->move(meny->x() - dispenser->OtprSumPanel1->width(), dispenser->OtprSumPanel1->y());
    dispenser->OtpLitrPanel1->move(dispenser->OtprSumPanel1->x(), dispenser->OtpLitrPanel1->y());
    dispenser->SumPanel->move(dispenser->OtprSumPanel1->x(), dispenser->SumPanel->y());
    dispenser->SummarnikiPanel->move(meny->x() - dispenser->SummarnikiPanel->width(), dispenser->SummarnikiPanel->y());

    ql->resize(outerWidth() - ql->x() - 10, ql->height());

    const int minimumHeight = meny->y() + dispenser->StatPanel->y() + dispenser->StatPanel->height() + chromeHeight;
    if (outerHeight() < minimumHeight) {
        const WindowChrome c = chrome();
        resize(width(), minimumHeight - c.caption - 2 * c.frame);
    }
    const int height = std::max(outerHeight(), minimumHeight);

    rab->resize(rab->width(), height - 10 - chromeHeight - rab->y());
    ql->resize(ql->width(), rab->height());

    const auto areaPanes = memoryPanel->areaPanes();
    const int paneHeight = ql->height() - areaPanes[0]->y() - 100;
    for (QPlainTextEdit* pane : areaPanes)
        pane->resize(pane->width(), paneHeight);

    QPlainTextEdit* const memo2 = memoryPanel->Memo2;
    memo2->move(memo2->x(), areaPanes[0]->y() + paneHeight + 10);
    memo2->resize(ql->width() - 10, memo2->height());

    log->resize(log->width(), rab->height() - console->otpravedit->height() - 50);
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TForm1::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    // A window manager frames the window after it is shown; the first move tells.
    const WindowChrome c = chrome();
    if (c.caption != appliedChrome_.caption || c.frame != appliedChrome_.frame)
        applyOuterGeometryLimits();
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    const WindowChrome c = chrome();
    if (c.caption != appliedChrome_.caption || c.frame != appliedChrome_.frame)
        applyOuterGeometryLimits();
    FormResize();
}

} // namespace mainwindow
