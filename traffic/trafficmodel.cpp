#include "traffic/trafficmodel.h"

#include <QColor>

namespace {

const QStringList kHeaders = trafficHeaders();
constexpr int kTenthsMax = 10000;

} // namespace

TrafficModel::TrafficModel(int capacity, QObject *parent)
    : QAbstractTableModel(parent), m_capacity(capacity), m_lastTenths(kTenthsMax + 1)
{
    m_rows.reserve(std::size_t(capacity));
}

int TrafficModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_count; }

int TrafficModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

const TrafficRow &TrafficModel::row(int index) const { return m_rows[std::size_t((m_first + index) % m_capacity)]; }

QString TrafficModel::text(const TrafficRow &row, int column) const
{
    switch (column) {
    case Time: return row.time.toString(QStringLiteral("HH:mm:ss.zzz"));
    case Request: return trafficHex(row.request);
    case Reply: return trafficHex(row.reply);
    case FirstMs: return trafficMs(row.firstMs);
    case LastMs: return trafficMs(row.lastMs);
    case Verdict: return judgementText(row.judgement);
    default: return QString();
    }
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TrafficRow &r = row(index.row());
    const bool failed = r.judgement.verdict != ::Verdict::Normal;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: // a long answer does not fit its column
        return text(r, index.column());
    case Qt::ForegroundRole: return failed ? QVariant(QColor(255, 0, 0)) : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == FirstMs || index.column() == LastMs ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case AnomalyRole: return failed || r.judgement.echo || r.judgement.extra > 0 || r.judgement.cut;
    default: return {};
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return kHeaders.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void TrafficModel::append(const QList<TrafficRow> &rows)
{
    for (const TrafficRow &row : rows) {
        const Judgement &j = row.judgement;
        m_requests += !row.request.isEmpty();
        ++m_counts[std::size_t(j.verdict)];
        m_cut += j.cut;
        if (j.verdict == ::Verdict::Normal && !std::isnan(row.lastMs)) {
            ++m_good;
            ++m_lastTenths[std::size_t(qBound(0, qRound(row.lastMs * 10), kTenthsMax))];
            m_maxLastMs = qMax(m_maxLastMs, row.lastMs);
        }
    }
    const int added = qMin(int(rows.size()), m_capacity);
    if (added == 0)
        return;
    // When full, the oldest rows go, and their places take the newest.
    if (const int dropped = m_count + added - m_capacity; dropped > 0) {
        beginRemoveRows({}, 0, dropped - 1);
        m_first = (m_first + dropped) % m_capacity;
        m_count -= dropped;
        endRemoveRows();
    }
    beginInsertRows({}, m_count, m_count + added - 1);
    for (auto row = rows.end() - added; row != rows.end(); ++row) {
        const std::size_t place = std::size_t((m_first + m_count++) % m_capacity);
        if (place == m_rows.size())
            m_rows.push_back(*row);
        else
            m_rows[place] = *row;
    }
    endInsertRows();
}

void TrafficModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_first = m_count = 0;
    m_requests = m_good = m_cut = 0;
    m_counts.fill(0);
    std::fill(m_lastTenths.begin(), m_lastTenths.end(), 0);
    m_maxLastMs = 0;
    endResetModel();
}

QString TrafficModel::summary() const
{
    QString text = QStringLiteral("请求 %1").arg(m_requests);
    for (std::size_t v = 0; v < m_counts.size(); ++v)
        text += QStringLiteral("  %1 %2").arg(verdictName(::Verdict(v))).arg(m_counts[v]);
    // An interval too short for the line: the requests cut their own answers.
    text += QStringLiteral("  被下一请求打断 %1").arg(m_cut);
    if (m_good > 0) {
        qint64 seen = 0;
        std::size_t median = 0;
        while ((seen += m_lastTenths[median]) * 2 < m_good)
            ++median;
        text += QStringLiteral("  正常应答末字节: 中位 %1 ms, 最大 %2 ms").arg(trafficMs(median / 10.0), trafficMs(m_maxLastMs));
    }
    return text;
}

QByteArray TrafficModel::csv() const
{
    QByteArray bytes = trafficCsvHeader();
    for (int i = 0; i < rowCount(); ++i)
        bytes += trafficCsvRow(row(i));
    return bytes;
}
