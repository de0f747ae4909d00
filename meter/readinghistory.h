#pragma once
// Every reading the meter's panel showed, with its time stamp, for as long as the
// program runs: one series per quantity, each value as the meter sent it. The chart
// draws from it and the CSV is written from it; it needs Qt Core only.

#include "readingquantity.h"
#include "readingseries.h"
#include "readingsource.h"

#include <QDateTime>
#include <QObject>
#include <array>

namespace meter {

class ReadingHistory final : public QObject, public ReadingSource {
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

    const ReadingSeries& series(Quantity quantity) const override { return series_[quantityIndex(quantity)]; }
    qsizetype size() const override { return size_; }
    bool isEmpty() const { return size_ == 0; }
    qint64 earliest() const override;
    qint64 latest() const override;
    QMetaObject::Connection whenGrown(QObject* receiver, std::function<void()> grew) const override;
    const QObject* holder() const override { return this; }
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
