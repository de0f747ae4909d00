#pragma once
// The main window: the top row, the mode switch, and the device families, each of
// which brings its own panels. The window knows a family only as a ui::FamilyMode.

#include "customcomm.h"
#include "menudialogs.h"
#include "portsession.h"
#include "sharedlogs.h"
#include "windowchrome.h"

#include <QColor>
#include <QFont>
#include <QMainWindow>
#include <memory>
#include <optional>
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
namespace oprog {
class TForm3;
}
namespace transport {
class Transport;
}
namespace ui {
class FamilyMode;
class LogPane;
}

namespace mainwindow {

class PortComboBox;
class ScriptBar;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    TForm1();
    ~TForm1() override;

    // The line-settings window, which the "Настройка" menu shows.
    ComPortNastroika::TForm2* settingsWindow();
    // The About window, which the "Справка" menu shows.
    oprog::TForm3* aboutWindow();
    // The common dialogs and the desktop, which the menus call; the system's at start.
    void setMenuDialogs(MenuDialogs dialogs) { dialogs_ = std::move(dialogs); }

    // The port and the mode asked for on the command line: the name goes into the port
    // box as if confirmed there (the port stays closed until "Открыть"), and the mode is
    // selected as its item would be.
    void startWith(const QString& port, std::optional<int> mode);

    // The selected item of the mode switch.
    int mode() const;
    WindowChrome chrome() const { return windowChrome(*this); }
    int outerWidth() const;
    int outerHeight() const;
    // The serial component, for what shows the port's state.
    const commport::TComm& port() const { return session_->comm(); }
    // The port's life, for what watches it from outside (benchmarks count its notices).
    const portsession::PortSession& session() const { return *session_; }

    // Mode switching and layout.
    void skritPanelki();
    void progClick();
    void FormResize();

    // Port selection.
    void Comportname();
    // The box's name taken: chosen from the list, or confirmed with Enter.
    void COMChange();
    void OpenPortClick();
    void ClosePortClick();
    // The list read afresh; the text, and with it the port, stays as it is.
    void refreshPortList();

    // Line settings.
    void COMnastroikaClick();
    void pokaznastr();
    void priminnastroiki();

    // Log files.
    void openFilesClick();
    void saveClick();
    void saveasClick();
    void N5Click();

    // Test scripts: "Выполнить сценарий ..." picks one and runs it on the open port.
    void runScriptClick();

    // Pane font, protocol description, About window.
    void N8Click();
    void ZENT111Click();
    void N4Click();

    // The font dialog's font at start.
    static QFont startPaneFont();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void FormCreate();
    void createFamilies();
    void applyOuterGeometryLimits();
    void setPortStatus(const QString& text, const QColor& colour);
    void setupPortControls();
    void showPortState(portsession::PortSession::State state);
    // The port's name in the box, without taking it again.
    void showPortName(const QString& name);
    // The items of the port list; the text stays as it is.
    void showPortList(const QStringList& items);
    void dropUnconfirmedPortName();
    void setupFileMenu();
    void setupScriptRun();
    void setupFontMenu();
    void setupHelpMenu();
    // The pane the file menu works on: the first family's that has one.
    ui::LogPane* fileLog() const;
    // Writes the file log to `path`; false (with the error box shown) when it did not.
    bool saveLogTo(const QString& path);

    // The port's life; first, so that everything made after it may use it.
    const std::unique_ptr<portsession::PortSession> session_;
    // Logs one family keeps and the others write to.
    ui::SharedLogs sharedLogs_;

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

    QGroupBox* const prog_;
    QButtonGroup* const progItems_;
    QLabel* const Label23_;
    QComboBox* const kontroller_;
    QLabel* const Label24_;
    QCheckBox* const proteus_check_;
    // The name of the log file "Сохранить" writes to; never shown.
    QLabel* const Label14_;

    transport::Transport* const transport_;
    // The parent of every family's panels, as large as the client area and under the
    // top row: disabled while a script runs.
    QWidget* familyArea_ = nullptr;
    ScriptBar* scriptBar_ = nullptr;
    // What the last capture replay was asked to do, offered again the next time.
    ReplayChoice replayChoice_;
    QAction* RunScript_ = nullptr;
    // One per item of the mode switch, in its order; children of the client area.
    std::vector<ui::FamilyMode*> families_;

    // Made on first use, top-level windows of their own; gone with this window.
    std::unique_ptr<ComPortNastroika::TForm2> settingsWindow_;
    std::unique_ptr<oprog::TForm3> aboutWindow_;
    MenuDialogs dialogs_;
    // The font dialog keeps the last chosen font between showings.
    QFont FontDialog1_;

    // The decoration the start and minimum sizes were computed with, and the client
    // size asked for at start: when the real decoration becomes known before anyone
    // resized the window, the outer start size is applied again.
    WindowChrome appliedChrome_;
    QSize startClientSize_;
};

} // namespace mainwindow
