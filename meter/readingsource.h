#pragma once
// What the chart window reads of the readings. The window is built apart from the
// program (the chart module) and must not carry its own copy of the history's QObject
// code, whose meta-object would then exist twice: it reads through this table only,
// and is told of new readings through it.

#include "readingquantity.h"
#include "readingseries.h"

#include <QMetaObject>
#include <functional>

class QObject;

namespace meter {

class ReadingSource {
public:
    virtual const ReadingSeries& series(Quantity quantity) const = 0;
    // All readings of all quantities.
    virtual qsizetype size() const = 0;
    bool isEmpty() const { return size() == 0; }
    // The earliest and latest time stamp over all quantities; meaningless when empty.
    virtual qint64 earliest() const = 0;
    virtual qint64 latest() const = 0;
    // Calls 'grew' on the thread of 'receiver', while it lives, after each reading added.
    virtual QMetaObject::Connection whenGrown(QObject* receiver, std::function<void()> grew) const = 0;
    // The object that holds the readings: once it is gone, so are they.
    virtual const QObject* holder() const = 0;

protected:
    ~ReadingSource() = default;
};

} // namespace meter
