#pragma once
// The line-settings window: speed, data bits, parity and stop bits of the port. It
// only edits lists; the main window shows the port's settings in it and applies the
// chosen ones in one step (showSettings, then lineSettings for SetLineSettings).

#include "commtypes.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <functional>

namespace ComPortNastroika {

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    // Selects the positions that match the speed, parity and stop bits; a value
    // without a position leaves its list as it was. The data-bits list is not touched.
    void showSettings(const commport::TLineSettings& settings);
    // Why the lists' texts cannot be applied ("" when they can): a text that names no
    // value the port knows. An empty text is no choice and leaves its value alone.
    QString refusal() const;
    // `current` with each value its list's text shows, typed or chosen; a list showing
    // nothing, or a text refusal() names, leaves its value as it is. The caller applies
    // the record to the port in one step.
    commport::TLineSettings lineSettings(const commport::TLineSettings& current) const;

    // What "Применить" runs (the main window's priminnastroiki).
    void setApplyHandler(std::function<void()> apply) { apply_ = std::move(apply); }

    QComboBox* const Speed;
    QComboBox* const BIT;
    QComboBox* const chetnost;
    QComboBox* const StopBit;
    QPushButton* const Button1;
    QPushButton* const Button2;

private:
    void Button1Click();

    std::function<void()> apply_;
};

} // namespace ComPortNastroika
