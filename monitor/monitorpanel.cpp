#include "monitorpanel.h"

#include "controlnames.h"
#include "logpane.h"
#include "typedbox.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>

using ui::makeControl;
using ui::makeLabel;
using ui::makePlaced;

namespace monitor {

namespace {

constexpr int kLogTop = 92;

} // namespace

MonitorPanel::MonitorPanel(QWidget* clientArea)
    : QObject(clientArea)
    , MonitorPanelFrame(makeControl<QFrame>(clientArea, "MonitorPanel"))
    , MonitorLog(new ui::LogPane(MonitorPanelFrame, "MonitorLog"))
{
    QFrame* const frame = MonitorPanelFrame;
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setGeometry(2, 56, 807, 441);
    frame->hide();

    struct TapRow {
        const char* label;
        const char* port;
        const char* settings;
        const char* state;
        QString caption;
        QString settingsCaption;
        int top;
    };
    const TapRow rows[] = {
        {"MonitorLabelA", "MonitorPortA", "MonitorSettingsA", "MonitorStateA", QStringLiteral("A — запросы:"),
         QStringLiteral("Линия A ..."), 8},
        {"MonitorLabelB", "MonitorPortB", "MonitorSettingsB", "MonitorStateB", QStringLiteral("B — ответы:"),
         QStringLiteral("Линия B ..."), 36},
    };
    for (int side = 0; side < kSideCount; ++side) {
        const TapRow& row = rows[side];
        QLabel* label = makeLabel(frame, row.label, row.caption, {8, row.top + 3});
        auto* box = makeControl<QComboBox>(frame, row.port);
        ui::makeTypedBox(box);
        box->setGeometry(96, row.top, 130, 22);
        label->setBuddy(box);
        ports[std::size_t(side)] = box;
        settingsButtons[std::size_t(side)] = makePlaced<QPushButton>(frame, row.settings, row.settingsCaption, {232, row.top, 86, 22});
        auto* state = makeControl<QLabel>(frame, row.state, QStringLiteral("закрыт"));
        state->setGeometry(324, row.top + 3, 200, 16);
        states[std::size_t(side)] = state;
    }

    QLabel* protocolLabel = makeLabel(frame, "MonitorProtocolLabel", QStringLiteral("Протокол:"), {532, 11});
    protocol = makeControl<QComboBox>(frame, "MonitorProtocol");
    protocol->addItems({QStringLiteral("DIX"), QStringLiteral("QL"), QStringLiteral("ЭРК-2"), QStringLiteral("нет")});
    protocol->setGeometry(676, 8, 90, 22);
    protocolLabel->setBuddy(protocol);

    QLabel* gapLabel = makeLabel(frame, "MonitorGapLabel", QStringLiteral("Конец кадра, символов:"), {532, 39});
    gap = makeControl<QDoubleSpinBox>(frame, "MonitorGap");
    gap->setRange(1.5, 100000);
    gap->setDecimals(1);
    gap->setSingleStep(0.5);
    gap->setValue(3.5);
    gap->setGeometry(676, 36, 90, 22);
    gap->setToolTip(QStringLiteral("Тишина на линии, после которой кадр считается законченным, в символах "
                                   "на скорости стороны (3,5 — как в протоколах с паузой между кадрами)"));
    gapLabel->setBuddy(gap);

    startButton = makePlaced<QPushButton>(frame, "MonitorStart", QStringLiteral("Начать"), {8, 64, 90, 24});
    stopButton = makePlaced<QPushButton>(frame, "MonitorStop", QStringLiteral("Остановить"), {104, 64, 90, 24});
    clearButton = makePlaced<QPushButton>(frame, "MonitorClear", QStringLiteral("Очистить"), {200, 64, 80, 24});
    openCaptureButton = makePlaced<QPushButton>(frame, "MonitorOpenCapture", QStringLiteral("Открыть запись ..."), {296, 64, 130, 24});
    saveCaptureButton = makePlaced<QPushButton>(frame, "MonitorSaveCapture", QStringLiteral("Сохранить запись ..."), {432, 64, 140, 24});
    saveLogButton = makePlaced<QPushButton>(frame, "MonitorSaveLog", QStringLiteral("Сохранить журнал ..."), {578, 64, 140, 24});
    stopButton->setEnabled(false);

    MonitorLog->view()->setGeometry(8, kLogTop, 791, 341);
}

void MonitorPanel::resize(int width, int height)
{
    MonitorPanelFrame->resize(width, height);
    MonitorLog->view()->resize(std::max(width - 16, 100), std::max(height - kLogTop - 8, 60));
}

} // namespace monitor
