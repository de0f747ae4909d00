#pragma once
// The line monitor ("Монитор") as a mode of the window: its panel on top of a
// LineMonitor, the line-settings window for each tap, and the files: the capture, saved
// and read back, and the log, saved as the console's log is.

#include "capturelines.h"
#include "familymode.h"
#include "lazypanel.h"
#include "linemonitor.h"
#include "monitorpanel.h"

#include <QObject>

#include <array>
#include <functional>
#include <memory>

namespace ComPortNastroika {
class TForm2;
}
namespace linecapture {
class BackgroundRead;
}

namespace monitor {

class MonitorFamily : public QObject, public ui::FamilyMode {
    Q_OBJECT
public:
    explicit MonitorFamily(const ui::FamilyContext& context);
    ~MonitorFamily() override;

    QString switchCaption() const override { return QStringLiteral("Монитор"); }
    const char* switchName() const override { return "prog_Monitor"; }
    void hidePanels() override;
    void showPanels() override;
    void layout(const ui::WindowFrame& frame) override;
    std::vector<ui::LogPane*> fontPanes() const override;

    // The console's own port is not the monitor's: its frames are not shown here, its
    // notices are.
    void frameSent(const QString& line, bool active) override;
    void replyWindowEnded(std::span<const std::uint8_t> reply) override;
    void lineNotice(const QString& line) override;

    // The name of a file to open or to save; empty when the operator cancels. The file
    // dialog by default; tests answer in its place.
    using FileChooser = std::function<QString(QWidget* parent, bool save, const QString& caption, const QString& filter)>;
    void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

    MonitorPanel& panel() { return panel_.get(); }
    LineMonitor& lineMonitor();

    // The buttons.
    void startClick();
    void stopClick();
    void clearClick();
    void openCaptureClick();
    void saveCaptureClick();
    void saveLogClick();
    void settingsClick(Side side);

    // The files, without asking; false (with a message box) when it failed. A capture is
    // read beside the window: openCapture only starts it (false when it could not), its
    // lines replace the pane's once the file is read whole, and the open button cancels it
    // meanwhile with nothing changed.
    bool openCapture(const QString& path);
    bool readingCapture() const { return bool(reading_); }
    bool saveCapture(const QString& path);
    bool saveLog(const QString& path);

private:
    void panelBuilt(MonitorPanel& panel);
    void showTapState(Side side);
    void showListening(bool listening);
    void showPresentation();
    void applySettings(Side side);
    void fileError(const QString& what, const QString& path, const QString& reason);
    void readCaptureFile(const QString& path, std::optional<Protocol> protocol, std::optional<double> gap);
    void captureRead(const QString& path, CaptureLines& read);
    void showReading(int percent);

    const ui::FamilyContext context_;
    ui::LazyPanel<MonitorPanel> panel_;
    LineMonitor* monitor_ = nullptr;
    ui::WindowFrame frame_;
    std::array<std::unique_ptr<ComPortNastroika::TForm2>, kSideCount> settingsWindows_;
    FileChooser chooseFile_;
    std::unique_ptr<linecapture::BackgroundRead> reading_;
};

} // namespace monitor
