#pragma once

namespace mainwindow {

// Tahoma, 11 pixels, for every window. Where the system has no Tahoma, the
// metric-compatible one from Debian's fonts-wine is loaded as an application font;
// failing that, the default sans font at the same pixel size.
void setApplicationFont();

} // namespace mainwindow
