#include "traffic/trafficlog.h"

#include "app/frmMain.h"
#include "serial/MSComm.h"
#include "traffic/trafficwindow.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

constexpr int kQuietMs = 1000;
constexpr qint64 kBatchMs = 1000;

double msSince(qint64 fromNs, qint64 toNs) { return double(toNs - fromNs) / 1e6; }

} // namespace

TrafficLog::TrafficLog(frmMain *window) : QObject(window), m_window(window)
{
    setObjectName(QStringLiteral("TrafficLog"));
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(kQuietMs);
    connect(&m_quiet, &QTimer::timeout, this, [this] { finish(); });
    m_batch.setSingleShot(true);
    connect(&m_batch, &QTimer::timeout, this, &TrafficLog::flush);
    connect(window->MSComm1, &MSComm::sent, this, &TrafficLog::sent);
    connect(window->MSComm1, &MSComm::received, this, &TrafficLog::received);
    connect(window->MSComm1, &MSComm::closed, this, [this] { finish(); });

    m_open = new QAction(QStringLiteral("通信记录..."), this);
    connect(m_open, &QAction::triggered, this, &TrafficLog::showLog);
    window->Frame1->setToolTip(QStringLiteral("右键: 通信记录"));
    for (QWidget *w : {static_cast<QWidget *>(window->Frame1), static_cast<QWidget *>(window->txtCommand),
                       static_cast<QWidget *>(window->txtState)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this, [this, w](const QPoint &pos) { showMenu(w, pos); });
    }
}

// The log window shows the model of this object: it goes first.
TrafficLog::~TrafficLog() { delete m_view; }

TrafficWindow *TrafficLog::logWindow() const { return m_view; }

void TrafficLog::showMenu(QWidget *where, const QPoint &pos)
{
    // A box keeps its usual edit menu, with the log at its end.
    auto *box = qobject_cast<QLineEdit *>(where);
    QMenu *menu = box ? box->createStandardContextMenu() : new QMenu(where);
    if (box)
        menu->addSeparator();
    menu->addAction(m_open);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(where->mapToGlobal(pos));
}

void TrafficLog::showLog()
{
    flush();
    if (!m_view) {
        m_view = new TrafficWindow(&m_model, m_window);
        connect(m_view, &TrafficWindow::clearRequested, this, &TrafficLog::clear);
        connect(m_view, &TrafficWindow::saveRequested, this, &TrafficLog::chooseSave);
    }
    // Brought back from the task bar and to the front, as a second click on the item asks.
    m_view->setWindowState(m_view->windowState() & ~Qt::WindowMinimized);
    m_view->show();
    m_view->raise();
    m_view->activateWindow();
}

bool TrafficLog::save(const QString &path)
{
    flush();
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(m_model.csv()) >= 0 && file.commit();
}

void TrafficLog::chooseSave()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString name = QDateTime::currentDateTime().toString(QStringLiteral("'kv4820-traffic-'yyyyMMdd-HHmmss'.csv'"));
    QWidget *parent = m_view ? static_cast<QWidget *>(m_view) : m_window;
    const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("保存通信记录"), QDir(folder).filePath(name),
                                                      QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty() && !save(path))
        m_window->MsgBox(QStringLiteral("通信记录保存失败: %1").arg(QDir::toNativeSeparators(path)));
}

void TrafficLog::clear()
{
    m_pending.clear();
    m_model.clear();
}

void TrafficLog::flush()
{
    m_batch.stop();
    m_sinceFlush.start();
    m_model.append(m_pending);
    m_pending.clear();
}

void TrafficLog::sent(const QByteArray &bytes, qint64 ns)
{
    finish(ns);
    m_exchange = TrafficRow{QDateTime::currentDateTime(), bytes, {}, NAN, NAN, {}};
    m_sentNs = ns;
    m_rate = m_window->MSComm1->baudRate();
    m_exchangeOpen = true;
    m_quiet.start();
}

void TrafficLog::received(const QByteArray &bytes, qint64 ns)
{
    if (!m_exchangeOpen) {
        // No request waits for these bytes: another master, or an answer later than the quiet time.
        m_exchange = TrafficRow{QDateTime::currentDateTime(), {}, {}, NAN, NAN, {}};
        m_exchangeOpen = true;
    }
    if (!m_exchange.request.isEmpty()) {
        if (m_exchange.reply.isEmpty())
            m_exchange.firstMs = msSince(m_sentNs, ns);
        m_exchange.lastMs = msSince(m_sentNs, ns);
    }
    m_exchange.reply += bytes;
    m_quiet.start();
}

void TrafficLog::finish(qint64 nextWriteNs)
{
    if (!m_exchangeOpen)
        return;
    m_exchangeOpen = false;
    m_quiet.stop();
    m_exchange.judgement = judgeExchange(m_exchange.request, m_exchange.reply);
    if (nextWriteNs >= 0 && !m_exchange.request.isEmpty())
        noteNextRequest(m_exchange.judgement, m_exchange.request, m_exchange.reply, m_exchange.lastMs, m_rate,
                        msSince(m_sentNs, nextWriteNs));
    // Bytes read off the line may share a large buffer of the port's: a kept row holds only its own.
    m_exchange.request.squeeze();
    m_exchange.reply.squeeze();
    m_pending.append(m_exchange);
    // A single request shows at once; while polling, its rows come a second's worth at a time.
    if (!m_batch.isActive()) {
        const qint64 since = m_sinceFlush.isValid() ? m_sinceFlush.elapsed() : kBatchMs;
        m_batch.start(int(qMax<qint64>(0, kBatchMs - since)));
    }
}
