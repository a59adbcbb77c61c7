#include "trend/trendwindow.h"

#include "trend/trendmodel.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Ten colours that stay apart on white; each channel's humidity a darker shade of its temperature.
const QColor kColors[TrendModel::kSeries] = {
    QColor(0xD6, 0x27, 0x28), QColor(0x8C, 0x1A, 0x1B), QColor(0x1F, 0x77, 0xB4), QColor(0x12, 0x46, 0x6B),
    QColor(0x2C, 0xA0, 0x2C), QColor(0x1A, 0x5F, 0x1A), QColor(0xFF, 0x7F, 0x0E), QColor(0xA6, 0x52, 0x00),
    QColor(0x94, 0x67, 0xBD), QColor(0x55, 0x3B, 0x6D),
};

const QString kCelsius = QStringLiteral("℃");

// Qt Charts strokes a line's whole outline again at every change of its points or of an axis, about
// 1 µs a point, and ten minutes at 50 ms are 12 000 points a series. On a time axis some 800 pixels
// wide a line keeps the lowest and highest point of each 2 s: no more than 600 points.
constexpr int kBuckets = 300;
// A pixel of that axis is some 0.75 s: a redraw a second keeps up with polling; while no answers
// come, one every few seconds moves the axis on.
constexpr int kRedrawMs = 1000;
constexpr int kIdleRedraws = 5;

struct Range
{
    double low = std::numeric_limits<double>::max(), high = std::numeric_limits<double>::lowest();
    void take(double v)
    {
        low = std::min(low, v);
        high = std::max(high, v);
    }
    // Ends at multiples of a step of 1, 2 or 5 times a power of ten, some five steps in all, with a
    // tenth of a step at least beyond the values. Set once, not raw and then rounded: each change of
    // an axis draws its lines again.
    void applyTo(QValueAxis *axis) const
    {
        double from = 0, to = 100, step = 20;
        if (low <= high) {
            const double rough = std::max(high - low, 1.0) / 5;
            const double unit = std::pow(10.0, std::floor(std::log10(rough)));
            step = 10 * unit;
            for (double factor : {5.0, 2.0, 1.0})
                if (rough <= factor * unit)
                    step = factor * unit;
            from = std::floor(low / step - 0.1) * step;
            to = std::ceil(high / step + 0.1) * step;
        }
        axis->setRange(from, to);
        axis->setTickCount(int(std::lround((to - from) / step)) + 1);
        axis->setLabelFormat(QStringLiteral("%.%1f").arg(std::max(0, int(-std::floor(std::log10(step) + 1e-9)))));
    }
};

} // namespace

TrendWindow::TrendWindow(TrendModel *model, const QStringList &names, const QStringList &units, QWidget *parent)
    : QWidget(parent, Qt::Window), m_model(model), m_units(units), m_chart(new QChart)
{
    setWindowTitle(QStringLiteral("趋势图"));
    resize(900, 560);

    m_time = new QDateTimeAxis;
    m_time->setFormat(QStringLiteral("HH:mm:ss"));
    m_time->setTickCount(11);
    m_celsius = new QValueAxis;
    m_celsius->setTitleText(kCelsius);
    m_humidity = new QValueAxis;
    m_humidity->setTitleText(QStringLiteral("%RH"));
    m_humidity->setGridLineVisible(false); // its ticks fall between the ℃ axis's grid lines
    m_chart->addAxis(m_time, Qt::AlignBottom);
    m_chart->addAxis(m_celsius, Qt::AlignLeft);
    m_chart->addAxis(m_humidity, Qt::AlignRight);
    m_chart->legend()->setAlignment(Qt::AlignBottom);

    for (int i = 0; i < TrendModel::kSeries; ++i) {
        QLineSeries *line = addLine(i);
        line->setName(names.value(i));
        connect(marker(i), &QLegendMarker::clicked, this, [this, i] { toggle(i); });
    }

    auto *view = new QChartView(m_chart, this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);

    m_clock.setInterval(kRedrawMs);
    connect(&m_clock, &QTimer::timeout, this, [this] {
        if (m_dirty || ++m_idleTicks >= kIdleRedraws)
            refresh();
    });
}

QLegendMarker *TrendWindow::marker(int series) const
{
    const QList<QLegendMarker *> markers = m_chart->legend()->markers(m_lines[series].first());
    return markers.isEmpty() ? nullptr : markers.first();
}

QLineSeries *TrendWindow::addLine(int series)
{
    auto *line = new QLineSeries;
    line->setPen(QPen(kColors[series], 1));
    m_chart->addSeries(line);
    line->attachAxis(m_time);
    line->attachAxis(m_units.value(series) == kCelsius ? m_celsius : m_humidity);
    m_lines[series].append(line);
    if (m_lines[series].size() > 1)
        applyVisibility(series);
    return line;
}

void TrendWindow::refresh()
{
    m_dirty = false;
    m_idleTicks = 0;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_model->expire(now);
    Range celsius, humidity;
    for (int i = 0; i < TrendModel::kSeries; ++i) {
        const QList<QList<QPointF>> runs = m_model->runs(i, m_model->span() / kBuckets);
        QList<QLineSeries *> &lines = m_lines[i];
        while (lines.size() < runs.size())
            addLine(i);
        while (lines.size() > std::max<qsizetype>(1, runs.size())) {
            QLineSeries *extra = lines.takeLast();
            m_chart->removeSeries(extra);
            delete extra;
        }
        Range &range = m_units.value(i) == kCelsius ? celsius : humidity;
        for (qsizetype k = 0; k < lines.size(); ++k) {
            const QList<QPointF> points = k < runs.size() ? runs[k] : QList<QPointF>();
            lines[k]->replace(points);
            for (const QPointF &p : points)
                range.take(p.y());
        }
    }
    m_time->setRange(QDateTime::fromMSecsSinceEpoch(now - m_model->span()), QDateTime::fromMSecsSinceEpoch(now));
    celsius.applyTo(m_celsius);
    humidity.applyTo(m_humidity);
}

void TrendWindow::toggle(int series)
{
    m_hidden[series] = !m_hidden[series];
    applyVisibility(series);
}

void TrendWindow::applyVisibility(int series)
{
    const bool shown = !m_hidden[series];
    for (QLineSeries *line : std::as_const(m_lines[series])) {
        line->setVisible(shown);
        // The legend shows and hides an entry with its line: only the first stands in it, always.
        for (QLegendMarker *m : m_chart->legend()->markers(line))
            m->setVisible(line == m_lines[series].first());
    }
    if (QLegendMarker *m = marker(series)) {
        QColor label = m_chart->legend()->labelColor();
        QColor box = kColors[series];
        if (!shown) {
            label.setAlpha(90);
            box.setAlpha(60);
        }
        m->setLabelBrush(label);
        m->setBrush(box);
    }
}

void TrendWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
    m_clock.start();
}

void TrendWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_clock.stop();
}
