#pragma once
// The main window: the top row, the mode switch, and the device families, each of
// which brings its own panels. The window knows a family only as a ui::FamilyMode.

#include "customcomm.h"
#include "portdirectory.h"
#include "windowchrome.h"

#include <QColor>
#include <QMainWindow>
#include <vector>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;

namespace ComPortNastroika {
class TForm2;
}
namespace transport {
class Transport;
}
namespace ports {
struct ReturnedDevice;
}
namespace ui {
class FamilyMode;
}

namespace mainwindow {

class PortComboBox;
class Reconnection;
struct ReopenResult;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    TForm1();
    ~TForm1() override;

    // The line-settings window, which the "Настройка" menu shows.
    void setSettingsWindow(ComPortNastroika::TForm2* window) { settingsWindow_ = window; }

    // The selected item of the mode switch.
    int mode() const;
    WindowChrome chrome() const { return windowChrome(*this); }
    int outerWidth() const;
    int outerHeight() const;
    // The serial component, for what shows the port's state.
    const commport::TComm& port() const { return Comm1_; }

    // Mode switching and layout.
    void skritPanelki();
    void progClick();
    void FormResize();

    // Port selection.
    void Comportname();
    // acceptDevicePath: the text may also be a device path, typed in full.
    void COMChange(bool acceptDevicePath = false);
    void OpenPortClick();
    void ClosePortClick();
    void Comm1DeviceLost();
    // The list read afresh; the text, and with it the port, stays as it is.
    void refreshPortList();

    // Line settings.
    void COMnastroikaClick();
    void pokaznastr();
    void priminnastroiki();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void FormCreate();
    void createFamilies();
    void applyOuterGeometryLimits();
    void setPortStatus(const QString& text, const QColor& colour);
    void showClosedPortButtons();
    void showOpenPortButtons();
    void setupComm1();
    void setupPortControls();
    // The open sequence of "Открыть" and of a port change: status, open, buttons.
    bool openPortShowingState();
    bool openComm1();
    // Devices that come and go (portwatching.cpp).
    void setupPortWatching();
    void showPortWaiting(const QString& name);
    ReopenResult reopenReturnedDevice(const ports::ReturnedDevice& device);

    ports::PortDirectory portDirectory_;
    commport::TComm Comm1_;

    QWidget* const clientArea_;
    QMenu* const EditFile_;
    QMenu* const N7_;
    QMenu* const N6_;
    QAction* const COMnastroika_;

    QLabel* const Label2_;
    QPushButton* const OpenPort_;
    QPushButton* const ClosePort_;
    QLabel* const Label3_;
    PortComboBox* const COM_;
    QLabel* const Label11_;
    QLabel* PortWaitLabel_ = nullptr;
    QAction* AutoReconnect_ = nullptr;
    Reconnection* reconnection_ = nullptr;

    QGroupBox* const prog_;
    QButtonGroup* const progItems_;
    QLabel* const Label23_;
    QComboBox* const kontroller_;
    QLabel* const Label24_;
    QCheckBox* const proteus_check_;

    transport::Transport* const transport_;
    // One per item of the mode switch, in its order; children of the client area.
    std::vector<ui::FamilyMode*> families_;

    ComPortNastroika::TForm2* settingsWindow_ = nullptr;

    // The decoration the start and minimum sizes were computed with, and the client
    // size asked for at start: when the real decoration becomes known before anyone
    // resized the window, the outer start size is applied again.
    WindowChrome appliedChrome_;
    QSize startClientSize_;
};

} // namespace mainwindow
