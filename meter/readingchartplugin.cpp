// The chart module's entry: the one object the program finds in it by its interface.

#include "readingchartmodule.h"
#include "readingchartwindow.h"

#include <QObject>

namespace meter {

class ReadingChartPlugin : public QObject, public ReadingChartModule {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QLDIXW_READING_CHART_MODULE_IID)
    Q_INTERFACES(meter::ReadingChartModule)
public:
    QWidget* createWindow(const ReadingSource& readings, QWidget* parent) override
    {
        return new ReadingChartWindow(readings, parent);
    }
};

} // namespace meter

#include "readingchartplugin.moc"
