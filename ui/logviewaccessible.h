#pragma once
// What assistive technology is told about a log view: read-only, multi-line text whose
// lines can be selected. Its name and description are the widget's own, set by the caller.

namespace ui {

// Registers the accessibility factory for log views; safe to call more than once.
void installLogViewAccessibility();

} // namespace ui
