#include "windowchrome.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QStyle>
#include <QStyleOptionTitleBar>

namespace mainwindow {

WindowChrome windowChrome(const QMainWindow& window)
{
    WindowChrome chrome;
    const QMenuBar* menu = window.menuBar();
    chrome.menu = menu->isVisible() ? menu->height() : menu->sizeHint().height();

    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    if (window.isVisible() && frame.height() > client.height()) {
        chrome.frame = (frame.width() - client.width()) / 2;
        chrome.caption = frame.height() - client.height() - 2 * chrome.frame;
        return chrome;
    }

    QStyleOptionTitleBar option;
    option.initFrom(&window);
    option.titleBarFlags = Qt::Window;
    chrome.caption = window.style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, &window);
    chrome.frame = window.style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, &window);
    return chrome;
}

} // namespace mainwindow
