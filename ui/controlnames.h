#pragma once
// Every control carries its design name as objectName and as accessible description:
// Qt 6.4 does not publish objectName over AT-SPI, and UI automation and screen
// readers find controls by the description. A control's visible caption stays its
// accessible name (Qt's default).

#include <QLabel>
#include <QWidget>

namespace ui {

template <typename Control>
Control* nameControl(Control* control, const char* name)
{
    const QString text = QString::fromLatin1(name);
    control->setObjectName(text);
    // Menu items have no accessible description of their own; their caption names them.
    if constexpr (requires { control->setAccessibleDescription(text); })
        control->setAccessibleDescription(text);
    return control;
}

template <typename Control, typename... Args>
Control* makeControl(QWidget* parent, const char* name, Args&&... args)
{
    return nameControl(new Control(std::forward<Args>(args)..., parent), name);
}

// A control with a caption or title, at a fixed place on its parent.
template <typename Control>
Control* makePlaced(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* control = makeControl<Control>(parent, name, text);
    control->setGeometry(geometry);
    return control;
}

// A caption at a fixed position, sized to its text.
inline QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, QPoint at)
{
    auto* label = makeControl<QLabel>(parent, name, caption);
    label->move(at);
    label->adjustSize();
    return label;
}

} // namespace ui
