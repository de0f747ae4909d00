#pragma once
// Every reading the meter's panel showed, with its time stamp, for as long as the
// program runs: one series per quantity, each value as the meter sent it. The chart
// draws from it and the CSV is written from it; it needs Qt Core only.

#include "readingquantity.h"
#include "readingseries.h"

#include <QDateTime>
#include <QObject>
#include <array>

namespace meter {

class ReadingHistory : public QObject {
    Q_OBJECT
public:
    explicit ReadingHistory(QObject* parent = nullptr);

    // A reading, as a value or as the text of one ("220.51"). Text that is no number is
    // kept too: it is saved with an empty value and not drawn. A reading without a
    // valid time is stamped now.
    void add(Quantity quantity, const QDateTime& when, ReadingValue value);
    void add(Quantity quantity, const QDateTime& when, QStringView text);
    // The readings stopped here (the poll was stopped): no line joins the readings
    // before to those that come next.
    void breakSeries();

    const ReadingSeries& series(Quantity quantity) const { return series_[quantityIndex(quantity)]; }
    // All readings of all quantities.
    qsizetype size() const { return size_; }
    bool isEmpty() const { return size_ == 0; }
    // The earliest and latest time stamp over all quantities; meaningless when empty.
    qint64 earliest() const;
    qint64 latest() const;
    std::size_t memoryBytes() const;

public slots:
    // A reading shown on the panel, named as the panel names it ("V1" to "W3",
    // "Сумма"); a name of no quantity is ignored.
    void addShown(const QString& quantity, const QString& text, const QDateTime& when);

signals:
    void grew();

private:
    std::array<ReadingSeries, kQuantityCount> series_;
    qsizetype size_ = 0;
};

} // namespace meter
