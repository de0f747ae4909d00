#pragma once
// The chart window's module: Qt Charts and the OpenGL libraries under it cost over a
// megabyte of resident memory from the moment they are mapped, and most sessions never
// open a chart, so the window is a plugin the program loads when it is first asked for.

#include <QtPlugin>

class QWidget;

namespace meter {

class ReadingSource;

class ReadingChartModule {
public:
    virtual ~ReadingChartModule() = default;
    // A chart window of 'readings', a window of its own that goes with 'parent'. The
    // readings' holder must outlive the window, or the window stops drawing when it goes.
    virtual QWidget* createWindow(const ReadingSource& readings, QWidget* parent) = 0;
};

} // namespace meter

// The interface's name carries its version: a module built for another version of it
// is refused by name, before any of its code runs.
#define QLDIXW_READING_CHART_MODULE_IID "org.example.qldixw.ReadingChartModule/1"
Q_DECLARE_INTERFACE(meter::ReadingChartModule, QLDIXW_READING_CHART_MODULE_IID)
