#pragma once
// A device family as the main window sees it. The window keeps a list of these, one
// per item of the mode switch, and knows nothing else of a family: switching modes,
// laying out the window, opening and closing the port and the menus that work on log
// panes all go through this interface. The transport sees the same object through
// its LineClient side.

#include "lineclient.h"

#include <QList>
#include <QString>
#include <functional>
#include <vector>

class QAction;
class QWidget;

namespace transport {
class Transport;
}

namespace ui {

class LogPane;
class SharedLogs;

// The controller address on the window's top row, shared by the families.
struct AddressSource {
    // The address as typed ("1", "7f", "01"): the families pad and check it.
    std::function<QString()> typed;
    // Selects the item `index` of the list "01".."7F" ("01" is 0); -1 selects none.
    std::function<void(int index)> selectItem;
};

// The window's outer size and the height of its decoration (caption, frame and menu
// bar), which the layout rules are written for.
struct WindowFrame {
    int outerWidth = 0;
    int outerHeight = 0;
    int chrome = 0;
};

// What the main window gives every family when it creates it.
struct FamilyContext {
    transport::Transport& line;
    // The window's client area: the parent of the family's panels.
    QWidget* clientArea = nullptr;
    AddressSource address;
    // Hides every panel of every family.
    std::function<void()> hideAllPanels;
    // The main window's outer top edge on the screen and its caption height, for
    // pop-ups placed at the pointer.
    std::function<int()> windowTop;
    std::function<int()> captionHeight;
    // Logs kept by one family that the others write to.
    SharedLogs& sharedLogs;
};

class FamilyMode : public transport::LineClient {
public:
    // The mode switch's item for this family: caption and control name.
    virtual QString switchCaption() const = 0;
    virtual const char* switchName() const = 0;

    // Hides every panel of the family, pop-ups included.
    virtual void hidePanels() = 0;
    // The family was selected: its panels come up (the others are already hidden).
    virtual void showPanels() = 0;
    // Hint lines a family keeps on the top row: shown when it is selected; whether
    // selecting this family hides the hints of the others.
    virtual void setHintsVisible(bool visible) { Q_UNUSED(visible); }
    virtual bool hidesOtherHints() const { return true; }

    // The smallest outer window height the family's panels need.
    virtual int minimumOuterHeight(int chrome) const { Q_UNUSED(chrome); return 0; }
    // Lays out the family's panels for the window's size.
    virtual void layout(const WindowFrame& frame) = 0;

    virtual void portOpened() {}
    virtual void portClosed() {}

    // The panes that take the font chosen in the menu, in order.
    virtual std::vector<LogPane*> fontPanes() const { return {}; }
    // The pane the file menu loads and saves, if this family has it.
    virtual LogPane* fileLog() const { return nullptr; }

    // Windows of its own the family opens, such as a chart of its readings: the main
    // menu lists them under "Вид".
    virtual QList<QAction*> windowActions() const { return {}; }
};

} // namespace ui
