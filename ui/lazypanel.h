#pragma once
// A family's panel, built the first time something needs it. Only the mode chosen at
// start is on screen then; the others' panels (hundreds of widgets) would otherwise be
// built and polished before the window can appear. Anything that reads or writes the
// panel builds it, so callers see no difference except through ifBuilt().

class QWidget;

#include <functional>
#include <optional>

namespace ui {

template <typename Panel>
class LazyPanel {
public:
    // built runs once, right after the panel is made: connect its controls there and
    // bring it to the state the family kept while it did not exist.
    LazyPanel(QWidget* clientArea, std::function<void(Panel&)> built)
        : clientArea_(clientArea)
        , built_(std::move(built))
    {
    }

    LazyPanel(const LazyPanel&) = delete;
    LazyPanel& operator=(const LazyPanel&) = delete;

    // Building is not a change anyone can see in the family's state, hence const.
    Panel& get() const
    {
        if (!panel_) {
            panel_.emplace(clientArea_);
            if (built_)
                built_(*panel_);
        }
        return *panel_;
    }
    Panel* operator->() const { return &get(); }

    // For what only matters once the panel exists, such as hiding it.
    Panel* ifBuilt() const { return panel_ ? &*panel_ : nullptr; }

private:
    QWidget* const clientArea_;
    const std::function<void(Panel&)> built_;
    mutable std::optional<Panel> panel_;
};

} // namespace ui
