// The trend: the model's points, gaps and the ten minutes it keeps; the window's legend.
#include "trend/trendmodel.h"
#include "trend/trendwindow.h"

#include <QChart>
#include <QDateTime>
#include <QLegendMarker>
#include <QLineSeries>
#include <QTest>
#include <QtNumeric>
#include <QValueAxis>

namespace {

// Series 0 of each answer given (a text that is not a number: a gap); the others gaps.
QList<double> answer(const QString &first)
{
    QList<double> values(TrendModel::kSeries, qQNaN());
    bool ok = false;
    const double value = first.toDouble(&ok);
    values[0] = ok ? value : qQNaN();
    return values;
}

const qint64 kStart = 1'800'000'000'000;

// Runs as "0:1,1:2|3:4": the points by the answer's index (50 ms apart from kStart) and value, runs
// apart by '|'.
QString runsText(const QList<QList<QPointF>> &runs)
{
    QStringList texts;
    for (const QList<QPointF> &run : runs) {
        QStringList values;
        for (const QPointF &p : run)
            values << QStringLiteral("%1:%2").arg((qint64(p.x()) - kStart) / 50).arg(p.y());
        texts << values.join(QLatin1Char(','));
    }
    return texts.join(QLatin1Char('|'));
}

} // namespace

class TestTrend : public QObject
{
    Q_OBJECT
private slots:
    void pointsAndGaps_data()
    {
        QTest::addColumn<QStringList>("values"); // series 0 of successive answers; "" a gap
        QTest::addColumn<QString>("runs");
        QTest::newRow("a point per answer") << QStringList{"1.00", "2.50", "-5.12"} << "0:1,1:2.5,2:-5.12";
        QTest::newRow("a gap splits the line") << QStringList{"1.00", "", "3.00", "4.00"} << "0:1|2:3,3:4";
        QTest::newRow("gaps at both ends") << QStringList{"", "1.00", "2.00", "", ""} << "1:1,2:2";
        QTest::newRow("two gaps running") << QStringList{"1.00", "", "", "4.00"} << "0:1|3:4";
        QTest::newRow("only gaps") << QStringList{"", ""} << "";
    }
    void pointsAndGaps()
    {
        QFETCH(QStringList, values);
        QFETCH(QString, runs);
        TrendModel model;
        qint64 t = kStart;
        for (const QString &v : values) {
            model.add(t, answer(v));
            t += 50;
        }
        QCOMPARE(model.answers(), values.size());
        QCOMPARE(runsText(model.runs(0)), runs);
        QVERIFY(model.runs(1).isEmpty()); // no answer filled series 1
    }

    void thinnedPerBucket_data()
    {
        QTest::addColumn<int>("every"); // ms between answers
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("runs"); // for buckets of 1 s
        QTest::newRow("lowest and highest of each second, in order")
            << 250 << QStringList{"3", "1", "4", "2", "5", "5", "5", "7", "9", "8", "6", "6"}
            << "5:1,10:4,20:5,35:7,40:9,50:6";
        QTest::newRow("a gap shorter than a second does not split")
            << 250 << QStringList{"3", "", "", "4"} << "0:3,15:4";
        QTest::newRow("a second of gaps splits")
            << 250 << QStringList{"1", "2", "3", "4", "", "", "", "", "5", "6"} << "0:1,15:4|40:5,45:6";
        QTest::newRow("a slow answer's gap splits") << 5000 << QStringList{"1", "", "3"} << "0:1|200:3";
    }
    // Thinned for drawing.
    void thinnedPerBucket()
    {
        QFETCH(int, every);
        QFETCH(QStringList, values);
        QFETCH(QString, runs);
        TrendModel model;
        for (int k = 0; k < values.size(); ++k)
            model.add(kStart + every * k, answer(values[k]));
        QCOMPARE(runsText(model.runs(0, 1000)), runs);
    }

    // A stretch of 2 s or more without a value breaks the line wherever it falls against the
    // buckets; a shorter one does not.
    void gapsOfTwoSecondsBreak_data()
    {
        QTest::addColumn<int>("every"); // ms between answers
        QTest::addColumn<int>("offset"); // ms from a bucket boundary to the first answer
        QTest::addColumn<QString>("pattern"); // per answer: v a value, f a fault, - no answer at all
        QTest::addColumn<int>("runs");
        const QString v20(20, QLatin1Char('v'));
        for (int offset : {0, 700, 1300, 1950}) {
            const QByteArray at = " at +" + QByteArray::number(offset);
            QTest::newRow("2.5 s of faults" + at) << 50 << offset << v20 + QString(50, 'f') + v20 << 2;
            QTest::newRow("2.5 s without answers" + at) << 50 << offset << v20 + QString(50, '-') + v20 << 2;
            QTest::newRow("1.5 s of faults" + at) << 50 << offset << v20 + QString(30, 'f') + v20 << 1;
        }
        QTest::newRow("one fault at 1500 ms") << 1500 << 0 << "vvvfvvv" << 2;
        QTest::newRow("one lost answer at 1500 ms") << 1500 << 500 << "vvv-vvv" << 2;
    }
    void gapsOfTwoSecondsBreak()
    {
        QFETCH(int, every);
        QFETCH(int, offset);
        QFETCH(QString, pattern);
        QFETCH(int, runs);
        TrendModel model;
        for (int k = 0; k < pattern.size(); ++k)
            if (pattern[k] != QLatin1Char('-'))
                model.add(kStart + offset + every * k, answer(pattern[k] == QLatin1Char('v') ? "20.00" : ""));
        QCOMPARE(model.runs(0, 2000).size(), runs);
    }

    // Joined when read less than 2 s apart or polled less than 1.5 intervals apart, from one module.
    void joinRule_data()
    {
        QTest::addColumn<QList<int>>("second"); // ms after the first answer, polling interval, port, address
        QTest::addColumn<int>("runs");
        QTest::newRow("single reads 1 s apart") << QList<int>{1000, 0, 1, 1} << 1;
        QTest::newRow("single reads 3 s apart") << QList<int>{3000, 0, 1, 1} << 2;
        QTest::newRow("polling at 10 s") << QList<int>{10000, 10000, 1, 1} << 1;
        QTest::newRow("polling at 10 s, 16 s apart") << QList<int>{16000, 10000, 1, 1} << 2;
        QTest::newRow("another port") << QList<int>{50, 50, 2, 1} << 2;
        QTest::newRow("another address") << QList<int>{50, 50, 1, 2} << 2;
    }
    void joinRule()
    {
        QFETCH(QList<int>, second);
        QFETCH(int, runs);
        TrendModel model;
        model.add(kStart, answer("20.00"), {1, 9600, QStringLiteral("1")}, second[1]);
        model.add(kStart + second[0], answer("21.00"), {second[2], 9600, QString::number(second[3])}, second[1]);
        QCOMPARE(model.runs(0, 2000).size(), runs);
    }

    // Ten minutes at 50 ms: 12 000 answers and the one at the span's edge; older ones dropped as new
    // ones come, and as time goes on without them.
    void keepsTheSpan()
    {
        TrendModel model;
        for (int k = 0; k < 15000; ++k)
            model.add(kStart + 50 * k, answer(QString::number(k)));
        QCOMPARE(model.answers(), 12001);
        QCOMPARE(model.runs(0).first().first().y(), 15000 - 12001);
        const qint64 last = kStart + 50 * 14999;
        model.expire(last + TrendModel::kTenMinutes - 1000); // the last second's answers stay
        QCOMPARE(model.answers(), 21);
        model.expire(last + TrendModel::kTenMinutes + 1);
        QCOMPARE(model.answers(), 0);
    }

    // Gaps make more lines than series, yet the legend has one entry per series, and a click on an
    // entry hides and shows every line of its series.
    void legend()
    {
        TrendModel model;
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        int k = 0;
        for (const char *v : {"20.00", "", "21.00", "22.00", "", "23.00"}) {
            QList<double> values = answer(QLatin1String(v));
            values[1] = 50;
            model.add(now - 60000 + 5000 * k++, values, {}, 5000); // a gap of 5 s shows at any width
        }
        QStringList names, units;
        for (int i = 0; i < TrendModel::kSeries; ++i) {
            names << QStringLiteral("s%1").arg(i);
            units << (i % 2 ? QStringLiteral("%RH") : QStringLiteral("℃"));
        }
        TrendWindow window(&model, names, units);
        window.show(); // draws the model
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QChart *chart = window.chart();
        QCOMPARE(chart->series().size(), TrendModel::kSeries + 2); // series 0 in three runs
        QStringList legend;
        for (QLegendMarker *m : chart->legend()->markers())
            if (m->isVisible())
                legend << m->label();
        QCOMPARE(legend, names);
        auto linesOf = [chart](int series) {
            QList<QLineSeries *> lines;
            for (QAbstractSeries *s : chart->series())
                if (static_cast<QLineSeries *>(s)->color() == static_cast<QLineSeries *>(chart->series()[series])->color())
                    lines << static_cast<QLineSeries *>(s);
            return lines;
        };
        QCOMPARE(linesOf(0).size(), 3);
        QCOMPARE(linesOf(0)[2]->count(), 1);
        // ℃ on the left axis, %RH on the right.
        auto side = [chart](int series) {
            for (QAbstractAxis *axis : chart->series()[series]->attachedAxes())
                if (qobject_cast<QValueAxis *>(axis))
                    return axis->alignment();
            return Qt::Alignment();
        };
        QCOMPARE(side(0), Qt::AlignLeft);
        QCOMPARE(side(1), Qt::AlignRight);

        emit window.marker(0)->clicked();
        for (QLineSeries *line : linesOf(0))
            QVERIFY(!line->isVisible());
        QVERIFY(window.marker(0)->isVisible());
        QVERIFY(linesOf(1).first()->isVisible());
        emit window.marker(0)->clicked();
        for (QLineSeries *line : linesOf(0))
            QVERIFY(line->isVisible());
        legend.clear();
        for (QLegendMarker *m : chart->legend()->markers())
            if (m->isVisible())
                legend << m->label();
        QCOMPARE(legend, names);
    }
};

QTEST_MAIN(TestTrend)
#include "tst_trend.moc"
