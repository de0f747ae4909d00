#pragma once
// The main window: the top row, the mode switch and the panels of the three device
// families, laid out for the window's size.

#include "consolepanel.h"
#include "dispenserpanel.h"
#include "memorypanel.h"
#include "meterpanel.h"
#include "sharedstate.h"
#include "windowchrome.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>

namespace mainwindow {

// The modes of the radio group, in its item order.
enum Mode { ModeDIX = 0, ModeQL = 1, ModeERK2 = 2 };

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    TForm1();

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

    QWidget* const clientArea;
    QMenu* const EditFile;
    QMenu* const N7;
    QMenu* const N6;

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

    transport::SharedState state;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void FormCreate();
    void applyOuterGeometryLimits();

    // The decoration the start and minimum sizes were computed with, and the client
    // size asked for at start: when the real decoration becomes known before anyone
    // resized the window, the outer start size is applied again.
    WindowChrome appliedChrome_;
    QSize startClientSize_;
};

} // namespace mainwindow
