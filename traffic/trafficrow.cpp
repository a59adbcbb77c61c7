#include "traffic/trafficrow.h"

#include "record/csv.h"

QStringList trafficHeaders()
{
    return {QStringLiteral("时间"),       QStringLiteral("请求"),       QStringLiteral("应答"),
            QStringLiteral("首字节(ms)"), QStringLiteral("末字节(ms)"), QStringLiteral("结论")};
}

QString trafficHex(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex(' ').toUpper()); }

QString trafficMs(double ms) { return std::isnan(ms) ? QString() : QString::number(ms, 'f', 1); }

QByteArray trafficCsvHeader() { return csvHeader(trafficHeaders().mid(1)); }

QByteArray trafficCsvRow(const TrafficRow &row)
{
    return csvRow(row.time, {trafficHex(row.request), trafficHex(row.reply), trafficMs(row.firstMs),
                             trafficMs(row.lastMs), judgementText(row.judgement)});
}
