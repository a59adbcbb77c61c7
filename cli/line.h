#pragma once
// The program's line to the module: the window's serial adapter, one request at a time, each waited
// for until its whole answer is in, and only for a missing answer up to a deadline.
#include "traffic/trafficrow.h"

#include <QEventLoop>
#include <QObject>

class MSComm;

class Line : public QObject
{
    Q_OBJECT
public:
    // Bytes later than this are no answer to the request, as the traffic log takes them.
    static constexpr int kAnswerMs = 1000;

    explicit Line(const QString &settingsDir, QObject *parent = nullptr);

    // Opens device at rate; false, with the search's reason ("无权限: …"), when it does not open.
    bool open(const QString &device, int rate, QString *why);
    // Writes request and returns the exchange once its whole answer is in, after waitMs without it,
    // or when the port is lost. A copy of the request with more after it teaches that the line echoes.
    TrafficRow exchange(const QByteArray &request, int waitMs = kAnswerMs);
    // The bytes of row that answer its request: without the copy of an adapter that echoes.
    QByteArray answer(const TrafficRow &row) const;
    // The port went away, or a request could not be written.
    bool lost() const { return m_lost; }
    // Ends the exchange under way; its row goes to ended(). The next request or the port's loss does
    // the same, so a row holds every byte that came back until then.
    void end();

signals:
    void ended(const TrafficRow &row);

private:
    Judgement judge(const TrafficRow &row) const;
    // row judged as it ends; msToNext: from its request's write to the next request's, NaN for none.
    TrafficRow finished(TrafficRow row, double msToNext) const;
    bool whole(const TrafficRow &row) const;
    void received(const QByteArray &bytes, qint64 ns);

    MSComm *m_comm;
    QEventLoop m_wait;
    TrafficRow m_row;
    qint64 m_sentNs = 0;
    int m_rate = 0;
    bool m_open = false;    // m_row is an exchange not yet ended
    bool m_waiting = false; // exchange() waits for the answer in m_row
    bool m_lost = false;
};
