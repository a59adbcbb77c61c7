#include "cli/line.h"

#include "response/echo.h"
#include "search/searcher.h"
#include "serial/MSComm.h"
#include "serial/logging.h"

#include <QTimer>

Line::Line(const QString &settingsDir, QObject *parent) : QObject(parent), m_comm(new MSComm(settingsDir, this))
{
    connect(m_comm, &MSComm::sent, this, [this](const QByteArray &bytes, qint64 ns) {
        m_sentNs = ns;
        qCDebug(lcFrames) << "sent" << bytes.toHex(' ');
    });
    connect(m_comm, &MSComm::received, this, &Line::received);
    connect(m_comm, &MSComm::closed, this, [this](bool lost) {
        m_lost = m_lost || lost;
        m_wait.quit();
        end();
    });
}

bool Line::open(const QString &device, int rate, QString *why)
{
    m_comm->setDevicePath(device);
    m_comm->setSettings(lineSettings(rate));
    m_rate = rate;
    if (m_comm->setPortOpen(true))
        return true;
    *why = openFailure(m_comm);
    return false;
}

TrafficRow Line::exchange(const QByteArray &request, int waitMs)
{
    // Bytes still waiting belong to the last exchange: announced now, they end up in its row. It ends
    // with this request's write, which tells whether that came too soon for its answer.
    m_comm->setInBufferCount(0);
    const TrafficRow last = m_row;
    const bool lastOpen = m_open;
    const qint64 lastNs = m_sentNs;
    m_row = TrafficRow{QDateTime::currentDateTime(), request, {}, NAN, NAN, {}};
    m_open = true;
    const bool written = m_comm->setOutput(request);
    if (lastOpen)
        emit ended(finished(last, written ? double(m_sentNs - lastNs) / 1e6 : NAN));
    if (!written) {
        m_lost = true;
    } else if (!whole(m_row)) {
        QTimer deadline;
        deadline.setSingleShot(true);
        deadline.setTimerType(Qt::PreciseTimer);
        connect(&deadline, &QTimer::timeout, &m_wait, &QEventLoop::quit);
        deadline.start(waitMs);
        m_waiting = true;
        m_wait.exec();
        m_waiting = false;
    }
    m_row.judgement = judge(m_row);
    if (!m_comm->echoes() && showsEcho(m_row.reply, request))
        m_comm->setEchoes(true);
    return m_row;
}

QByteArray Line::answer(const TrafficRow &row) const
{
    return m_comm->echoes() ? row.reply.mid(row.request.size()) : row.reply;
}

void Line::end()
{
    if (!m_open)
        return;
    m_open = false;
    emit ended(finished(m_row, NAN));
}

TrafficRow Line::finished(TrafficRow row, double msToNext) const
{
    row.judgement = judge(row);
    if (!std::isnan(msToNext))
        noteNextRequest(row.judgement, row.request, row.reply, row.lastMs, m_rate, msToNext);
    return row;
}

Judgement Line::judge(const TrafficRow &row) const
{
    if (!m_comm->echoes())
        return judgeExchange(row.request, row.reply);
    // On a line known to echo, the copy comes first whatever noise did to it, as the window takes it;
    // the answer to a change of address is a copy too, so only what follows the first one answers.
    Judgement j = judgeExchange(row.request, answer(row));
    j.echo = true;
    return j;
}

bool Line::whole(const TrafficRow &row) const
{
    if (!m_comm->echoes() && mayShowEcho(row.reply, row.request))
        return false;
    const Verdict verdict = judge(row).verdict;
    return verdict != Verdict::NoAnswer && verdict != Verdict::Incomplete;
}

void Line::received(const QByteArray &bytes, qint64 ns)
{
    qCDebug(lcFrames) << "received" << bytes.toHex(' ');
    if (!m_open)
        return;
    if (m_row.reply.isEmpty())
        m_row.firstMs = double(ns - m_sentNs) / 1e6;
    m_row.lastMs = double(ns - m_sentNs) / 1e6;
    m_row.reply += bytes;
    if (m_waiting && whole(m_row))
        m_wait.quit();
}
