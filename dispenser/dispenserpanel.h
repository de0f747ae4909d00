#pragma once
// The dispenser mode's controls: the button menu with the hose list and the status
// group, and the four pop-ups that hang off the menu's left edge.

#include "clickablepanel.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace dispenser {

class DispenserPanel : public QObject {
    Q_OBJECT
public:
    explicit DispenserPanel(QWidget* clientArea);

    QFrame* const MenyPanel;
    QComboBox* const trkedit;
    QGroupBox* const StatPanel;
    QLineEdit* const Danstat;
    QLineEdit* const StatSost;

    ClickablePanel* const OtprSumPanel1;
    ClickablePanel* const OtpLitrPanel1;
    ClickablePanel* const SumPanel;
    ClickablePanel* const SummarnikiPanel;
    QLabel* const NeflitrSum;
    QLabel* const flitrSum;
    QLabel* const NefDenSum;
};

} // namespace dispenser
