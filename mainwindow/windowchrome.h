#pragma once
// The window decoration sizes the layout works with: caption height, sizing-frame
// width and menu-bar height. The layout rules are written for outer window sizes,
// which include the decoration.

class QMainWindow;

namespace mainwindow {

struct WindowChrome {
    int caption = 0;
    int frame = 0;
    int menu = 0;

    // Everything between the outer height and the client area's height.
    int total() const { return menu + caption + 2 * frame; }
};

// Reads the real decoration once the window manager has framed the window, and the
// style's title-bar and frame metrics before that (or where no window manager runs).
WindowChrome windowChrome(const QMainWindow& window);

} // namespace mainwindow
