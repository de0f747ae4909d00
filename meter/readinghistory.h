#pragma once
// Every reading the meter's panel showed, with its time stamp, for as long as the
// program runs: one series per quantity. The chart draws from it and the CSV is
// written from it; it needs Qt Core only.

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

    // A reading as its label showed it. Text that is no number is kept too: it is saved
    // with an empty value and not drawn. A reading without a valid time is stamped now.
    void add(ReadingQuantity quantity, const QDateTime& when, QStringView text);

    const ReadingSeries& series(ReadingQuantity quantity) const { return series_[std::size_t(readingQuantityIndex(quantity))]; }
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
    std::array<ReadingSeries, kReadingQuantityCount> series_;
    qsizetype size_ = 0;
};

} // namespace meter
