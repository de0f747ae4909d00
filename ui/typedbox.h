#pragma once
// A drop-down list the operator may also type into, keeping exactly what was typed.
// Qt gives an editable combo box an inline completer: typing "1" into the address box
// shows "10" and the next request goes to controller 10, "7" becomes "70", a speed of
// "1" becomes "110". A value that reaches a device is never completed into another one;
// the list is still there to pick from.

#include <QComboBox>

namespace ui {

inline void makeTypedBox(QComboBox* box)
{
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    // Also makes the box's own matching of a typed text against its items case-sensitive.
    box->setCompleter(nullptr);
}

} // namespace ui
