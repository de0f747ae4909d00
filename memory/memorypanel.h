#pragma once
// The memory-access mode's panel: one reply pane per memory area, the request log
// Memo1 and the exchange log Memo2, and the address-entry hint on the window's top row.

#include <QFrame>
#include <QLabel>
#include <array>

namespace ui {
class LogPane;
}

namespace memory {

// The four memory areas, in the order of their panes.
enum MemoryArea { AreaIR, AreaER, AreaIM, AreaIF, MemoryAreaCount };

class MemoryPanel : public QObject {
    Q_OBJECT
public:
    explicit MemoryPanel(QWidget* clientArea);

    QFrame* const QLpanelGL;
    ui::LogPane* const dannielistBoxQLIR;
    ui::LogPane* const dannielistBoxQLEX;
    ui::LogPane* const dannielistBoxQLIM;
    ui::LogPane* const dannielistBoxQLIF;
    ui::LogPane* const Memo1;
    ui::LogPane* const Memo2;
    QLabel* const Label10;
    QLabel* const Label12;
    QLabel* const Label13;

    // The area panes in the order IR, ER, IM, IF.
    std::array<ui::LogPane*, MemoryAreaCount> areaPanes() const;
};

} // namespace memory
