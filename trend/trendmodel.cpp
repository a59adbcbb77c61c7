#include "trend/trendmodel.h"

#include <cmath>
#include <limits>

void TrendModel::add(qint64 timeMs, const QStringList &shown)
{
    Answer answer{timeMs, {}};
    for (int i = 0; i < kSeries; ++i) {
        bool ok = false;
        const double value = i < shown.size() ? shown[i].toDouble(&ok) : 0;
        answer.values[i] = ok ? value : std::numeric_limits<double>::quiet_NaN();
    }
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
    bool started = false, gap = false;
    qint64 bucket = 0, index = 0;
    QPointF low, high; // the current bucket's lowest and highest point, not yet in the run
    auto closeBucket = [&] {
        const bool lowFirst = low.x() <= high.x();
        result.last().append(lowFirst ? low : high);
        if (low != high)
            result.last().append(lowFirst ? high : low);
    };
    for (const Answer &answer : m_answers) {
        const qint64 b = bucketMs > 0 ? answer.time / bucketMs : index++; // no bucket: each its own
        const double value = answer.values[series];
        if (std::isnan(value)) {
            gap = true;
            continue;
        }
        const QPointF point(double(answer.time), value);
        if (started && b == bucket) {
            if (value < low.y())
                low = point;
            if (value > high.y())
                high = point;
            gap = false;
            continue;
        }
        if (started)
            closeBucket();
        // A gap ends the line where it leaves a whole bucket without a value; slow polling, whose
        // answers lie buckets apart, does not.
        if (!started || (gap && b > bucket + 1))
            result.append(QList<QPointF>());
        started = true;
        gap = false;
        bucket = b;
        low = high = point;
    }
    if (started)
        closeBucket();
    return result;
}
