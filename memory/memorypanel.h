#pragma once
// The memory-access mode's panel: per memory area an address field, a value field
// and a reply pane; the bit-replacement boxes of IR and ER, the emulation buttons,
// the request log Memo1 and the exchange log Memo2; and the address-entry hint on the
// window's top row. A thin view: the exchange reads and changes it as MemoryControls.

#include "memoryarea.h"
#include "memoryexchange.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <functional>

namespace ui {
class LogPane;
}

namespace memory {

class MemoryPanel : public QObject {
    Q_OBJECT
public:
    explicit MemoryPanel(QWidget* clientArea);

    QFrame* const QLpanelGL;
    QFrame* const Panel1QL;
    QFrame* const QLpanel;
    QLineEdit* const adressIR;
    QLineEdit* const adressEX;
    QLineEdit* const adressIM;
    QLineEdit* const adressIF;
    QLineEdit* const contIR;
    QLineEdit* const contEX;
    QLineEdit* const contIM;
    QLineEdit* const contIF;
    QComboBox* const bitIR;
    QPushButton* const ZamenaBitIR;
    QComboBox* const ZambIR;
    QComboBox* const BitEx;
    QPushButton* const ZamenaBitEX;
    QComboBox* const ZamBEX;
    QPushButton* const VklEmul;
    QPushButton* const viklEmul;
    ui::LogPane* const dannielistBoxQLIR;
    ui::LogPane* const dannielistBoxQLEX;
    ui::LogPane* const dannielistBoxQLIM;
    ui::LogPane* const dannielistBoxQLIF;
    ui::LogPane* const Memo1;
    ui::LogPane* const Memo2;
    QLabel* const Label10;
    QLabel* const Label12;
    QLabel* const Label13;

    // In the order IR, ER, IM, IF.
    std::array<ui::LogPane*, MemoryAreaCount> areaPanes() const;
    std::array<QLineEdit*, MemoryAreaCount> addressFields() const;
    std::array<QLineEdit*, MemoryAreaCount> valueFields() const;

    // What the controls hold now (the controller address is not on this panel).
    MemoryControls controls() const;
    // Shows what an event of the exchange did: the controls it changed, the values,
    // the pane lines and the request log lines.
    void show(const MemoryControls& controls, const MemoryOutput& output);

    // Called for every key pressed in an address field, before the key reaches it.
    void setKeyDownHandler(std::function<void(MemoryArea, MemoryKey)> handler) { keyDown_ = std::move(handler); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool addressKeyPress(QLineEdit* field, const QKeyEvent* event);

    std::function<void(MemoryArea, MemoryKey)> keyDown_;
};

} // namespace memory
