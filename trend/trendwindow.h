#pragma once
// The "趋势图" window: the ten values of the last minutes as lines over time, ℃ on the left axis
// and %RH on the right; a click on a legend entry hides or shows its line.
#include <QList>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <array>

class TrendModel;
class QChart;
class QDateTimeAxis;
class QLegendMarker;
class QLineSeries;
class QValueAxis;

class TrendWindow : public QWidget
{
    Q_OBJECT
public:
    // names and units: one per series of the model, units "℃" on the left axis, any other on the right.
    TrendWindow(TrendModel *model, const QStringList &names, const QStringList &units, QWidget *parent = nullptr);

    // The model has a new answer: drawn with the next refresh, once a second at most.
    void dataAdded() { m_dirty = true; }
    // Draws the model as it is now.
    void refresh();

    QChart *chart() const { return m_chart; }
    // The legend's entry of a series.
    QLegendMarker *marker(int series) const;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QLineSeries *addLine(int series);
    void toggle(int series);
    void applyVisibility(int series);

    TrendModel *m_model;
    QStringList m_units;
    QChart *m_chart;
    QDateTimeAxis *m_time;
    QValueAxis *m_celsius, *m_humidity;
    // One line per unbroken run of a series; the first stands for it in the legend, and stays.
    std::array<QList<QLineSeries *>, 10> m_lines;
    std::array<bool, 10> m_hidden{};
    QTimer m_clock; // runs while shown
    bool m_dirty = false;
    int m_idleTicks = 0;
};
