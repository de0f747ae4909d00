#include "tform1.h"

#include "controlnames.h"
#include "dispenserfamily.h"
#include "logpane.h"
#include "memoryfamily.h"
#include "meterfamily.h"
#include "monitorfamily.h"
#include "tform2.h"
#include "tform3.h"
#include "portcombobox.h"
#include "programversion.h"
#include "transport.h"
#include "typedbox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>

using ui::makeControl;
using ui::makeLabel;
using ui::nameControl;

namespace mainwindow {

namespace {

constexpr QSize kStartOuterSize{856, 729};
constexpr QPoint kStartPosition{286, 157};
constexpr QSize kMinimumOuterSize{750, 490};

QMenu* makeMenu(QMenuBar* bar, const char* name, const QString& caption)
{
    return nameControl(bar->addMenu(caption), name);
}

// The windows the families open, in a menu "Вид" before 'before'; no menu when no
// family has any.
void addWindowMenu(QMenuBar* bar, QAction* before, const std::vector<ui::FamilyMode*>& families)
{
    QMenu* menu = nullptr;
    for (const ui::FamilyMode* family : families) {
        for (QAction* action : family->windowActions()) {
            if (!menu)
                bar->insertMenu(before, menu = nameControl(new QMenu(QStringLiteral("Вид"), bar), "ViewMenu"));
            menu->addAction(action);
        }
    }
}

} // namespace

TForm1::TForm1()
    : session_(std::make_unique<portsession::PortSession>())
    , clientArea_(nameControl(new QWidget, "TForm1_client"))
    , EditFile_(makeMenu(menuBar(), "EditFile", QStringLiteral("Файл")))
    , N7_(makeMenu(menuBar(), "N7", QStringLiteral("Настройка")))
    , N6_(makeMenu(menuBar(), "N6", QStringLiteral("Справка")))
    , COMnastroika_(nameControl(N7_->addAction(QStringLiteral("COM-порт")), "COMnastroika"))
    , Label2_(makeLabel(clientArea_, "Label2", QStringLiteral("Порт"), {8, 0}))
    , OpenPort_(makeControl<QPushButton>(clientArea_, "OpenPort", QStringLiteral("Открыть")))
    , ClosePort_(makeControl<QPushButton>(clientArea_, "ClosePort", QStringLiteral("Закрыть")))
    , Label3_(makeLabel(clientArea_, "Label3", QStringLiteral("Выбор COM-порта"), {8, 32}))
    , COM_(makeControl<PortComboBox>(clientArea_, "COM"))
    , Label11_(makeControl<QLabel>(clientArea_, "Label11", QStringLiteral("COM-порт закрыт")))
    , prog_(makeControl<QGroupBox>(clientArea_, "prog"))
    , progItems_(new QButtonGroup(this))
    , Label23_(makeLabel(clientArea_, "Label23", QStringLiteral("Адрес"), {304, 8}))
    , kontroller_(makeControl<QComboBox>(clientArea_, "kontroller"))
    , Label24_(makeLabel(clientArea_, "Label24", QStringLiteral("01-7F"), {360, 32}))
    , proteus_check_(makeControl<QCheckBox>(clientArea_, "proteus_check", QStringLiteral("Протеус")))
    , Label14_(makeControl<QLabel>(clientArea_, "Label14"))
    , transport_(new transport::Transport(*session_, this))
    , dialogs_(systemMenuDialogs())
    , FontDialog1_(startPaneFont())
{
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("QLDIXw V") + QLatin1String(ui::kProgramVersion));
    setCentralWidget(clientArea_);

    ui::makeTypedBox(kontroller_);
    kontroller_->setGeometry(304, 24, 49, 19);
    proteus_check_->setGeometry(664, 0, 97, 17);
    connect(proteus_check_, &QCheckBox::toggled, transport_, &transport::Transport::setSlowLine);

    createFamilies();
    setupPortControls();
    setupFileMenu();
    setupScriptRun();
    setupFontMenu();
    setupHelpMenu();

    applyOuterGeometryLimits();
    move(kStartPosition);
    FormCreate();
}

TForm1::~TForm1()
{
    // The port box loses the focus as the window goes: nothing of this window may hear it.
    COM_->disconnect(this);
    // The families and the line go with the window's children, after its members: the
    // port is closed before anything it serves is gone.
    session_->close();
}

void TForm1::createFamilies()
{
    // The families' panels share one area under the top row, laid over the whole client
    // area, so that a script run disables them all at once and leaves what each family
    // enables or disables itself as it was.
    familyArea_ = nameControl(new QWidget(clientArea_), "FamilyArea");
    auto* fill = new QGridLayout(clientArea_);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(familyArea_);
    familyArea_->lower();

    const ui::FamilyContext context{
        .line = *transport_,
        .clientArea = familyArea_,
        .address = {.typed = [this] { return kontroller_->currentText(); },
                    .selectItem = [this](int index) { kontroller_->setCurrentIndex(index); }},
        .hideAllPanels = [this] { skritPanelki(); },
        .windowTop = [this] { return frameGeometry().top(); },
        .captionHeight = [this] { return chrome().caption; },
        .sharedLogs = sharedLogs_,
    };
    // The mode switch's items, in order.
    families_ = {
        new dispenser::DispenserFamily(context),
        new memory::MemoryFamily(context),
        new meter::MeterFamily(context),
        new monitor::MonitorFamily(context),
    };

    // One item a family, 15 pixels apart.
    const int items = static_cast<int>(families_.size());
    prog_->setGeometry(184, -8, 89, 12 + 15 * items);
    std::vector<transport::LineClient*> clients;
    for (int item = 0; item < items; ++item) {
        ui::FamilyMode* family = families_[static_cast<std::size_t>(item)];
        auto* button = makeControl<QRadioButton>(prog_, family->switchName(), family->switchCaption());
        button->setGeometry(8, 10 + 15 * item, 75, 15);
        progItems_->addButton(button, item);
        clients.push_back(family);
    }
    transport_->setClients(std::move(clients));
    progItems_->button(0)->setChecked(true);
    addWindowMenu(menuBar(), N6_->menuAction(), families_);
    // The reply of a window goes to the mode selected when the window ends. An item
    // checked without a click (a screen reader's action) switches the panels as a click
    // does; a click, also on the item already checked, shows the mode's panels (again).
    connect(progItems_, &QButtonGroup::idToggled, this, [this](int item, bool checked) {
        if (!checked)
            return;
        transport_->setActiveClient(item);
        progClick();
    });
    connect(progItems_, &QButtonGroup::idClicked, this, [this] { progClick(); });
}

void TForm1::FormCreate()
{
    FormResize();
    Comportname();

    QStringList addresses;
    for (int address = 1; address <= 0x7F; ++address)
        addresses << QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0')).toUpper();
    kontroller_->addItems(addresses); // one insertion, not 127 with a signal each
    kontroller_->lineEdit()->setMaxLength(2);
    kontroller_->setEditText(QStringLiteral("01"));

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
    return transport_->activeClient();
}

void TForm1::skritPanelki()
{
    for (ui::FamilyMode* family : families_)
        family->hidePanels();
}

void TForm1::progClick()
{
    skritPanelki();
    const int item = mode();
    if (item < 0 || item >= static_cast<int>(families_.size()))
        return;
    ui::FamilyMode* selected = families_[static_cast<std::size_t>(item)];
    selected->showPanels();
    selected->setHintsVisible(true);
    if (selected->hidesOtherHints())
        for (ui::FamilyMode* family : families_)
            if (family != selected)
                family->setHintsVisible(false);
}

void TForm1::FormResize()
{
    const WindowChrome c = chrome();
    int minimumHeight = 0;
    for (const ui::FamilyMode* family : families_)
        minimumHeight = std::max(minimumHeight, family->minimumOuterHeight(c.total()));
    if (outerHeight() < minimumHeight)
        resize(width(), minimumHeight - c.caption - 2 * c.frame);

    const ui::WindowFrame frame{outerWidth(), std::max(outerHeight(), minimumHeight), c.total()};
    for (ui::FamilyMode* family : families_)
        family->layout(frame);
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
