#pragma once
// Logs that one family keeps and others write to, by name. The memory mode's request
// log takes the one-byte answers to the meter's writes as well: whichever family asked,
// the operator reads them in one place.

#include "logpane.h"

#include <QHash>
#include <QString>

#include <functional>

namespace ui {

// The memory mode's request log.
inline const QString kRequestLog = QStringLiteral("Memo1");

class SharedLogs {
public:
    // The family that keeps `name`: `pane` gives the log when a line comes, so a
    // family may build its panel only then.
    void keep(const QString& name, std::function<LogPane*()> pane) { logs_.insert(name, std::move(pane)); }

    // Appends to the named log; nothing when no family keeps it.
    void append(const QString& name, const QString& line) const
    {
        const auto log = logs_.constFind(name);
        if (log == logs_.constEnd())
            return;
        if (LogPane* pane = (*log)())
            pane->appendLine(line);
    }

private:
    QHash<QString, std::function<LogPane*()>> logs_;
};

} // namespace ui
