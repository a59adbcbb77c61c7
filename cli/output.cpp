#include "cli/output.h"

#include "record/csv.h"
#include "response/decode.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The texts of the window's boxes, empty where the recording leaves a field empty.
QStringList texts(const Registers &registers)
{
    QStringList out;
    for (const std::optional<quint16> &raw : registers)
        out << (raw ? registerText(*raw) : QString());
    return out;
}

QString withDash(const QString &text) { return text.isEmpty() ? QStringLiteral("-") : text; }

QString isoTime(const QDateTime &time)
{
    const int minutes = time.offsetFromUtc() / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz"))
         + QString::asprintf("%c%02d:%02d", minutes < 0 ? '-' : '+', qAbs(minutes) / 60, qAbs(minutes) % 60);
}

} // namespace

Registers registersOf(const QByteArray &answer)
{
    Registers registers;
    for (int j = 0; j < kValueRowCount && 4 + 2 * j < answer.size(); ++j) {
        const quint16 raw = quint16(quint8(answer[3 + 2 * j]) << 8 | quint8(answer[4 + 2 * j]));
        if (raw != kFaultValue)
            registers[std::size_t(j)] = raw;
    }
    return registers;
}

QByteArray valueRows(const Registers &registers)
{
    const QStringList values = texts(registers);
    QString text;
    for (int i = 0; i < kValueRowCount; ++i)
        text += QString::fromUtf8(kValueRows[i].name) + QLatin1Char('\t') + withDash(values[i]) + QLatin1Char('\t')
              + QString::fromUtf8(kValueRows[i].unit) + QLatin1Char('\n');
    return text.toUtf8();
}

QByteArray valueLine(const QDateTime &time, const Registers &registers)
{
    QString text = localTime(time);
    for (const QString &value : texts(registers))
        text += QLatin1Char('\t') + withDash(value);
    return text.toUtf8() + '\n';
}

QByteArray valueJson(const QDateTime &time, int address, const Registers &registers)
{
    QJsonObject object{{QStringLiteral("time"), isoTime(time)}, {QStringLiteral("address"), address}};
    for (int i = 0; i < kValueRowCount; ++i) {
        const std::optional<quint16> &raw = registers[std::size_t(i)];
        // Even rows are a channel's temperature, odd ones its humidity.
        const QString key = QStringLiteral("%1%2").arg(QLatin1Char(i % 2 ? 'h' : 't')).arg(i / 2 + 1);
        object.insert(key, raw ? QJsonValue(registerValue(*raw)) : QJsonValue(QJsonValue::Null));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray valueCsvHeader() { return csvHeader(recordingColumns()); }

QByteArray valueCsvRow(const QDateTime &time, const Registers &registers) { return csvRow(time, texts(registers)); }

QString localTime(const QDateTime &time) { return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")); }
