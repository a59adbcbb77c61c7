#include "record/valuetools.h"

#include "app/frmMain.h"
#include "polling/Timer.h"
#include "record/csv.h"
#include "record/recorder.h"
#include "response/valuerows.h"
#include "trend/trendwindow.h"

#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>
#include <QTimer>

namespace {

const QString kWriteFailed = QStringLiteral("记录文件写入失败，记录已停止。");

} // namespace

ValueTools::ValueTools(frmMain *window) : QObject(window), m_window(window)
{
    setObjectName(QStringLiteral("ValueTools"));
    m_recorder = new Recorder(recordingColumns(), this);
    connect(m_recorder, &Recorder::recordingChanged, this, &ValueTools::recordingChanged);
    connect(m_recorder, &Recorder::failed, this, &ValueTools::recordingFailed);

    m_copy = new QAction(QStringLiteral("复制数值"), this);
    m_start = new QAction(QStringLiteral("开始记录..."), this);
    m_stop = new QAction(QStringLiteral("停止记录"), this);
    m_trend = new QAction(QStringLiteral("趋势图..."), this);
    m_stop->setEnabled(false);
    connect(m_copy, &QAction::triggered, this, &ValueTools::copyValues);
    connect(m_start, &QAction::triggered, this, &ValueTools::chooseRecording);
    connect(m_stop, &QAction::triggered, this, &ValueTools::stopRecording);
    connect(m_trend, &QAction::triggered, this, &ValueTools::showTrend);
    connect(this, &ValueTools::recordingChanged, this, [this](bool recording) {
        m_start->setEnabled(!recording);
        m_stop->setEnabled(recording);
    });

    QWidget *panel = window->PictureShow;
    panel->setToolTip(QStringLiteral("右键: 复制数值、记录数据、趋势图"));
    panel->setContextMenuPolicy(Qt::CustomContextMenu);
    // A value box's own edit menu would stand in the way: its labels and boxes leave the click to the panel.
    for (QWidget *child : panel->findChildren<QWidget *>())
        child->setContextMenuPolicy(Qt::NoContextMenu);
    connect(panel, &QWidget::customContextMenuRequested, this, &ValueTools::showMenu);

    connect(window, &frmMain::valuesDecoded, this, &ValueTools::valuesDecoded);
}

// The trend window reads the model of this object: it goes first.
ValueTools::~ValueTools() { delete m_trendWindow; }

bool ValueTools::isRecording() const { return m_recorder->isRecording(); }

TrendWindow *ValueTools::trendWindow() const { return m_trendWindow; }

QStringList ValueTools::names() const
{
    QStringList names;
    for (const ValueRow &row : kValueRows)
        names << QString::fromUtf8(row.name);
    return names;
}

QStringList ValueTools::units() const
{
    QStringList units;
    for (const ValueRow &row : kValueRows)
        units << QString::fromUtf8(row.unit);
    return units;
}

void ValueTools::showMenu(const QPoint &pos)
{
    if (!m_menu) {
        m_menu = new QMenu(m_window->PictureShow);
        m_menu->addActions({m_copy, m_start, m_stop, m_trend});
    }
    m_menu->popup(m_window->PictureShow->mapToGlobal(pos));
}

void ValueTools::copyValues()
{
    const QStringList names = this->names(), units = this->units();
    QString text;
    for (int i = 0; i < 10; ++i)
        text += names[i] + QLatin1Char('\t') + m_window->txtValue[i]->text() + QLatin1Char('\t') + units[i] + QLatin1Char('\n');
    QGuiApplication::clipboard()->setText(text);
}

void ValueTools::chooseRecording()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString name = QDateTime::currentDateTime().toString(QStringLiteral("'kv4820-'yyyyMMdd-HHmmss'.csv'"));
    const QString path = QFileDialog::getSaveFileName(m_window, QStringLiteral("开始记录"), QDir(folder).filePath(name),
                                                      QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty() && !startRecording(path))
        m_window->MsgBox(kWriteFailed + QLatin1Char('\n') + m_recorder->errorString());
}

bool ValueTools::startRecording(const QString &path) { return m_recorder->start(path); }

void ValueTools::stopRecording() { m_recorder->stop(); }

void ValueTools::showTrend()
{
    if (!m_trendWindow)
        m_trendWindow = new TrendWindow(&m_trendModel, names(), units(), m_window);
    if (m_trendWindow->isMinimized())
        m_trendWindow->showNormal();
    else
        m_trendWindow->show();
    m_trendWindow->raise();
    m_trendWindow->activateWindow();
}

void ValueTools::valuesDecoded(const QStringList &shown, const QList<double> &values)
{
    const QDateTime now = QDateTime::currentDateTime();
    m_recorder->record(now, shown);
    // The line and module the answer came from, and the polling in force: the trend joins values only
    // of one module, and only as far apart as the reads were meant to be.
    const TrendOrigin origin{m_window->CommNum, m_window->CommRate, m_window->txtStationID->text()};
    const int pollMs = m_window->Timer2->isRunning() ? m_window->Timer2->Interval() : 0;
    m_trendModel.add(now.toMSecsSinceEpoch(), values, origin, pollMs);
    if (m_trendWindow)
        m_trendWindow->dataAdded();
}

void ValueTools::recordingFailed(const QString &reason)
{
    // Shown from the event loop, not inside the answer's handling that met the failure.
    QTimer::singleShot(0, this, [this, reason] { m_window->MsgBox(kWriteFailed + QLatin1Char('\n') + reason); });
}
