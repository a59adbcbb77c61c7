#pragma once
// The trend's data: the values of each decoded answer over the last span of time, oldest first.
#include <QList>
#include <QPointF>
#include <array>
#include <deque>

class TrendModel
{
public:
    static constexpr int kSeries = 10;
    static constexpr qint64 kTenMinutes = 10 * 60 * 1000;

    explicit TrendModel(qint64 spanMs = kTenMinutes) : m_span(spanMs) {}

    // One answer at timeMs (ms since the epoch): a NaN (a fault value, a slot the answer did not
    // fill), or a value missing at the end, is a gap. Answers older than the span before timeMs are
    // dropped.
    void add(qint64 timeMs, const QList<double> &values);
    // Drops the answers older than the span before nowMs.
    void expire(qint64 nowMs);

    qint64 span() const { return m_span; }
    int answers() const { return int(m_answers.size()); }
    // Series i as its unbroken runs of points (x: ms since the epoch); a gap ends a run. With a
    // bucket, a run keeps of the points in each bucketMs of time only the lowest and the highest, in
    // their order (a line drawn at a bucket a pixel or wider looks the same), and a gap ends it when
    // its two points lie bucketMs or more apart. A gap is an answer without a value, or a pause in
    // the answers half as long again as the one before.
    QList<QList<QPointF>> runs(int series, qint64 bucketMs = 0) const;

private:
    struct Answer
    {
        qint64 time;
        std::array<double, kSeries> values; // NaN: a gap
    };
    qint64 m_span;
    std::deque<Answer> m_answers;
};
