#pragma once
// The monitor mode's panel: a port box, a line-settings button and a state for each
// tap, the protocol to decode and the gap that ends a frame, the buttons, and the log.
// Only widgets: the family drives them.

#include "capturenames.h"

#include <QFrame>
#include <array>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;

namespace ui {
class LogPane;
}

namespace monitor {

class MonitorPanel : public QObject {
    Q_OBJECT
public:
    explicit MonitorPanel(QWidget* clientArea);

    QFrame* const MonitorPanelFrame;
    // Per tap, in side order (A, B).
    std::array<QComboBox*, kSideCount> ports{};
    std::array<QPushButton*, kSideCount> settingsButtons{};
    std::array<QLabel*, kSideCount> states{};
    // In the order of Protocol: DIX, QL, ЭРК-2, нет.
    QComboBox* protocol = nullptr;
    // The gap in character times.
    QDoubleSpinBox* gap = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* stopButton = nullptr;
    QPushButton* clearButton = nullptr;
    QPushButton* openCaptureButton = nullptr;
    QPushButton* saveCaptureButton = nullptr;
    QPushButton* saveLogButton = nullptr;
    ui::LogPane* const MonitorLog;

    // The log fills the panel below the controls.
    void resize(int width, int height);
};

} // namespace monitor
