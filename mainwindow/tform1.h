#pragma once
// The main window: the top row, the mode switch and the panels of the three device
// families, laid out for the window's size.

#include "consolepanel.h"
#include "customcomm.h"
#include "dispenserpanel.h"
#include "dispensermode.h"
#include "memorypanel.h"
#include "memoryreception.h"
#include "meterpanel.h"
#include "meterreception.h"
#include "portdirectory.h"
#include "sharedstate.h"
#include "tform2.h"
#include "transport.h"
#include "windowchrome.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>

namespace mainwindow {

// The modes of the radio group, in its item order.
enum Mode { ModeDIX = 0, ModeQL = 1, ModeERK2 = 2 };

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    TForm1();
    ~TForm1() override;

    // The line-settings window, which the "Настройка" menu shows.
    void setSettingsWindow(ComPortNastroika::TForm2* window) { settingsWindow_ = window; }

    int mode() const;
    WindowChrome chrome() const { return windowChrome(*this); }
    int outerWidth() const;
    int outerHeight() const;

    void skritPanelki();
    void progClick();
    void OtprSumPanel1Click();
    void OtpLitrPanel1Click();
    void SumPanelClick();
    void SummarnikiPanelClick();
    void FormResize();

    // Port selection.
    void Comportname();
    // acceptDevicePath: the text may also be a device path, typed in full.
    void COMChange(bool acceptDevicePath = false);
    void OpenPortClick();
    void ClosePortClick();
    void Comm1DeviceLost();

    // Line settings.
    void COMnastroikaClick();
    void pokaznastr();
    void priminnastroiki();

    transport::SharedState state;
    ports::PortDirectory portDirectory;
    commport::TComm Comm1;

    QWidget* const clientArea;
    QMenu* const EditFile;
    QMenu* const N7;
    QMenu* const N6;
    QAction* const COMnastroika;

    QLabel* const Label2;
    QPushButton* const OpenPort;
    QPushButton* const ClosePort;
    QLabel* const Label3;
    QComboBox* const COM;
    QLabel* const Label11;

    QGroupBox* const prog;
    QButtonGroup* const progItems;
    QLabel* const Label23;
    QComboBox* const kontroller;
    QLabel* const Label24;
    QLabel* const Label10;
    QLabel* const Label12;
    QLabel* const Label13;
    QCheckBox* const proteus_check;

    transport::ConsolePanel* const console;
    dispenser::DispenserPanel* const dispenser;
    memory::MemoryPanel* const memoryPanel;
    meter::MeterPanel* const meterPanel;

    transport::Transport* const transport;
    dispenser::DispenserMode dispenserMode;
    memory::MemoryReception memoryReception;
    meter::MeterReception meterReception;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void FormCreate();
    void applyOuterGeometryLimits();
    void setPortStatus(const QString& text, const QColor& colour);
    void showClosedPortButtons();
    void showOpenPortButtons();
    void setupComm1();
    void setupPortControls();
    bool openComm1();

    ComPortNastroika::TForm2* settingsWindow_ = nullptr;

    // The decoration the start and minimum sizes were computed with, and the client
    // size asked for at start: when the real decoration becomes known before anyone
    // resized the window, the outer start size is applied again.
    WindowChrome appliedChrome_;
    QSize startClientSize_;
};

} // namespace mainwindow
