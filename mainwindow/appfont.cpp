#include "appfont.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

namespace mainwindow {

namespace {
constexpr const char* kFamily = "Tahoma";
#if !defined(_WIN32)
// Where Debian's fonts-wine puts it. Windows has Tahoma of its own.
constexpr const char* kFallbackFiles[] = {
    "/usr/share/wine/fonts/tahoma.ttf",
    "/usr/share/wine/fonts/tahomabd.ttf",
};
#endif
} // namespace

void setApplicationFont()
{
#if !defined(_WIN32)
    if (!QFontDatabase::families().contains(QLatin1String(kFamily))) {
        for (const char* file : kFallbackFiles)
            QFontDatabase::addApplicationFont(QString::fromLatin1(file));
    }
#endif
    QFont font;
    if (QFontDatabase::families().contains(QLatin1String(kFamily)))
        font.setFamily(QString::fromLatin1(kFamily));
    else
        font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    QApplication::setFont(font);
}

} // namespace mainwindow
