#pragma once
// "Воспроизведение записи": asked before a line monitor's capture is replayed in the
// window. Each exchange's reply window follows the capture unless a window is given
// here; and each window may end once its reply is complete.

#include "menudialogs.h"

#include <optional>

class QWidget;

namespace mainwindow {

// The dialog itself, modal over `parent`; nothing when cancelled.
std::optional<ReplayChoice> askReplayOptions(QWidget* parent, const ReplayChoice& initial);

} // namespace mainwindow
