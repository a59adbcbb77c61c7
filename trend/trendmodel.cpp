#include "trend/trendmodel.h"

#include <cmath>
#include <limits>

void TrendModel::add(qint64 timeMs, const QList<double> &values, const TrendOrigin &origin, int pollMs)
{
    Answer answer{timeMs, {}, origin, pollMs};
    for (int i = 0; i < kSeries; ++i)
        answer.values[i] = i < values.size() ? values[i] : std::numeric_limits<double>::quiet_NaN();
    m_answers.push_back(answer);
    expire(timeMs);
}

void TrendModel::expire(qint64 nowMs)
{
    while (!m_answers.empty() && m_answers.front().time < nowMs - m_span)
        m_answers.pop_front();
}

QList<QList<QPointF>> TrendModel::runs(int series, qint64 bucketMs) const
{
    QList<QList<QPointF>> result;
    bool started = false;
    bool gap = false; // an answer without a value since the last point
    bool moved = false; // another port, rate or address since the last point
    const Answer *previous = nullptr;
    qint64 bucket = 0, index = 0, last = 0;
    QPointF low, high; // the current bucket's lowest and highest point, not yet in the run
    auto closeBucket = [&] {
        const bool lowFirst = low.x() <= high.x();
        result.last().append(lowFirst ? low : high);
        if (low != high)
            result.last().append(lowFirst ? high : low);
    };
    for (const Answer &answer : m_answers) {
        if (previous && previous->origin != answer.origin)
            moved = true;
        previous = &answer;
        const double value = answer.values[series];
        if (std::isnan(value)) {
            gap = true;
            continue;
        }
        const QPointF point(double(answer.time), value);
        const qint64 b = bucketMs > 0 ? answer.time / bucketMs : index++; // no bucket: each its own
        // Only what was measured is drawn: a line between two single reads minutes apart, past a
        // lost answer of slow polling or from one module to another would show values nobody read.
        // A stretch of a bucket or more without a value ends the line too, wherever the buckets
        // begin; a shorter one (a fault flickering on and off) does not, or there would be a line per
        // answer.
        const qint64 apart = answer.time - last;
        const bool joinable = apart < kJoinMs || (answer.pollMs > 0 && 2 * apart < 3 * qint64(answer.pollMs));
        const bool broken = started && (moved || !joinable || (gap && apart >= bucketMs));
        gap = moved = false;
        last = answer.time;
        if (started && !broken && b == bucket) {
            if (value < low.y())
                low = point;
            if (value > high.y())
                high = point;
            continue;
        }
        if (started)
            closeBucket();
        if (!started || broken)
            result.append(QList<QPointF>());
        started = true;
        bucket = b;
        low = high = point;
    }
    if (started)
        closeBucket();
    return result;
}
