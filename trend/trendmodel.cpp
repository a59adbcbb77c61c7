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
    bool inRun = false;
    qint64 bucket = 0, index = 0;
    QPointF low, high; // the current bucket's lowest and highest point, not yet in the run
    auto closeBucket = [&] {
        if (!inRun)
            return;
        const bool lowFirst = low.x() <= high.x();
        result.last().append(lowFirst ? low : high);
        if (low != high)
            result.last().append(lowFirst ? high : low);
    };
    for (const Answer &answer : m_answers) {
        const double value = answer.values[series];
        const qint64 b = bucketMs > 0 ? answer.time / bucketMs : index++; // no bucket: each its own
        if (std::isnan(value)) {
            closeBucket();
            inRun = false;
            continue;
        }
        const QPointF point(double(answer.time), value);
        if (inRun && b == bucket) {
            if (value < low.y())
                low = point;
            if (value > high.y())
                high = point;
            continue;
        }
        closeBucket();
        if (!inRun)
            result.append(QList<QPointF>());
        inRun = true;
        bucket = b;
        low = high = point;
    }
    closeBucket();
    return result;
}
