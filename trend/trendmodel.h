#pragma once
// The trend's data: the values of each decoded answer over the last span of time, oldest first.
#include <QList>
#include <QPointF>
#include <QString>
#include <array>
#include <deque>

// Where an answer came from: the values of two lines or two modules are never joined.
struct TrendOrigin
{
    int port = 0;
    int rate = 0;
    QString address;
    bool operator==(const TrendOrigin &other) const
    {
        return port == other.port && rate == other.rate && address == other.address;
    }
    bool operator!=(const TrendOrigin &other) const { return !(*this == other); }
};

class TrendModel
{
public:
    static constexpr int kSeries = 10;
    static constexpr qint64 kTenMinutes = 10 * 60 * 1000;

    // Values closer than this are joined however they were read.
    static constexpr qint64 kJoinMs = 2000;

    explicit TrendModel(qint64 spanMs = kTenMinutes) : m_span(spanMs) {}

    // One answer at timeMs (ms since the epoch): a NaN (a fault value, a slot the answer did not
    // fill), or a value missing at the end, is a gap. pollMs: the polling interval in force when it
    // came, 0 for a single read. Answers older than the span before timeMs are dropped.
    void add(qint64 timeMs, const QList<double> &values, const TrendOrigin &origin = {}, int pollMs = 0);
    // Drops the answers older than the span before nowMs.
    void expire(qint64 nowMs);

    qint64 span() const { return m_span; }
    int answers() const { return int(m_answers.size()); }
    // Series i as its unbroken runs of points (x: ms since the epoch); a gap ends a run. With a
    // bucket, a run keeps of the points in each bucketMs of time only the lowest and the highest, in
    // their order (a line drawn at a bucket a pixel or wider looks the same), and a gap ends it when
    // its two points lie bucketMs or more apart. A gap is an answer without a value. Two values are
    // joined only when less than kJoinMs apart or, while polling, less than 1.5 intervals apart, and
    // never across a change of origin.
    QList<QList<QPointF>> runs(int series, qint64 bucketMs = 0) const;

private:
    struct Answer
    {
        qint64 time;
        std::array<double, kSeries> values; // NaN: a gap
        TrendOrigin origin;
        int pollMs;
    };
    qint64 m_span;
    std::deque<Answer> m_answers;
};
