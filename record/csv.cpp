#include "record/csv.h"

#include "response/valuerows.h"

namespace {

// Quoted only when needed, so that plain numbers stay plain numbers for the spreadsheet.
QString field(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray line(const QString &first, const QStringList &rest)
{
    QString text = field(first);
    for (const QString &value : rest)
        text += QLatin1Char(',') + field(value);
    return text.toUtf8() + "\r\n";
}

} // namespace

QByteArray csvHeader(const QStringList &columns)
{
    return QByteArray("\xEF\xBB\xBF") + line(QStringLiteral("时间"), columns);
}

QByteArray csvRow(const QDateTime &time, const QStringList &values)
{
    return line(time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")), values);
}

QStringList recordingColumns()
{
    QStringList columns;
    for (const ValueRow &row : kValueRows)
        columns << QString::fromUtf8(row.name) + QLatin1Char('(') + QString::fromUtf8(row.unit) + QLatin1Char(')');
    return columns;
}
