#pragma once
// The traffic log's rows: the last exchanges on the line in a bounded ring, with a summary of every
// exchange since the start or the last clear, the dropped ones too.
#include "traffic/trafficrow.h"

#include <QAbstractTableModel>
#include <array>
#include <vector>

class TrafficModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int kCapacity = 10000;
    enum Column { Time, Request, Reply, FirstMs, LastMs, Verdict, ColumnCount };
    // "true" for a row 只看异常 keeps: not 正常, or with a note (回显, 多余字节, 被下一请求打断).
    static constexpr int AnomalyRole = Qt::UserRole;

    explicit TrafficModel(int capacity = kCapacity, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const TrafficRow &row(int index) const;
    void append(const QList<TrafficRow> &rows); // drops the oldest rows when full
    void clear();

    QString summary() const;
    // The rows kept, as a CSV file: UTF-8 with a byte-order mark, CRLF.
    QByteArray csv() const;

private:
    QString text(const TrafficRow &row, int column) const;

    int m_capacity;
    std::vector<TrafficRow> m_rows;
    int m_first = 0; // the oldest row's place once the ring is full
    int m_count = 0;
    qint64 m_requests = 0;
    std::array<qint64, 8> m_counts{};
    qint64 m_cut = 0; // exchanges cut by the next request
    // Times to the last byte of the good answers, in 0.1 ms steps up to 1 s: a median in fixed memory.
    std::vector<qint64> m_lastTenths;
    qint64 m_good = 0;
    double m_maxLastMs = 0;
};
