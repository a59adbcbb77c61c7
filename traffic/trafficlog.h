#pragma once
// The traffic log "通信记录": one row per exchange on the line, with a verdict on the answer. It
// attaches from outside the window, watches the serial adapter's traffic signals from the start, and
// opens from the context menu of the group "二次开发命令观察窗口". It sends nothing and changes
// nothing of the window. Named "TrafficLog" so that tools can open and save it by its slots.
#include "traffic/trafficmodel.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class frmMain;
class QAction;
class QPoint;
class QWidget;
class TrafficWindow;

class TrafficLog : public QObject
{
    Q_OBJECT
public:
    explicit TrafficLog(frmMain *window);
    ~TrafficLog() override;

    TrafficModel *model() { return &m_model; }
    TrafficWindow *logWindow() const; // null until first shown

public slots:
    void showLog();
    bool save(const QString &path);
    void chooseSave(); // asks for the file
    void clear();

private:
    void sent(const QByteArray &bytes, qint64 ns);
    void received(const QByteArray &bytes, qint64 ns);
    // The open exchange becomes a row; nextWriteNs: the write of the request that ends it, if one does.
    void finish(qint64 nextWriteNs = -1);
    void flush();  // the rows waiting go to the model
    void showMenu(QWidget *where, const QPoint &pos);

    frmMain *m_window;
    TrafficModel m_model;
    QPointer<TrafficWindow> m_view;
    QAction *m_open;
    QTimer m_quiet; // ends an exchange after 1 s without a byte
    // Rows reach the model at most once a second: an open log window is painted again with every
    // change, which twenty times a second would cost more than the polling itself.
    QList<TrafficRow> m_pending;
    QTimer m_batch;
    QElapsedTimer m_sinceFlush;
    bool m_exchangeOpen = false;
    TrafficRow m_exchange;
    qint64 m_sentNs = 0;
    qint32 m_rate = 0; // the line's rate at the request's write
};
