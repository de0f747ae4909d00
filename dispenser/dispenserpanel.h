#pragma once
// The dispenser mode's controls: the button menu with the hose list and the status
// group, and the four pop-ups that hang off the menu's left edge, with the number
// fields inside them.

#include "clickablepanel.h"
#include "moneyfields.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class QKeyEvent;

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

    // The menu, top to bottom.
    QPushButton* const ActivirovatButton;
    QPushButton* const OstanovitButton;
    QPushButton* const ProdolzitButton;
    QPushButton* const Button1;
    QPushButton* const PassivizirButton;
    QPushButton* const VersiaButton;
    QPushButton* const StatusButton;
    QPushButton* const VklKlapButton;
    QPushButton* const ViklKlapButton;
    QPushButton* const OtpLitrButton;
    QPushButton* const OtpSumButton;
    QPushButton* const SumLitrChitButton;
    QPushButton* const SumLitrZadatButton;
    QPushButton* const SumChitButton;
    QPushButton* const ObnulSumButton;

    // The pop-ups' fields and start buttons.
    QLineEdit* const litri;
    QPushButton* const OtpLitr;
    QLineEdit* const Stoimost;
    QPushButton* const OtprSum;
    QLineEdit* const stoimlitr;
    QPushButton* const zadatsumPanel;

    // Key handlers of the number fields; true: the key is consumed.
    bool stoimlitrKeyDown(const QKeyEvent* event);
    bool stoimlitrKeyPress(const QKeyEvent* event);
    bool litriKeyDown(const QKeyEvent* event);
    bool litriKeyPress(const QKeyEvent* event);
    bool StoimostKeyDown(const QKeyEvent* event);
    bool StoimostKeyPress(const QKeyEvent* event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace dispenser
