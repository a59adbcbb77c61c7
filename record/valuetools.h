#pragma once
// The value panel's context menu: copy the ten values, record the decoded answers to a CSV file,
// and the trend window. Attached to the window from outside; named "ValueTools" so that tools outside the window's
// code can start a recording or open the trend through the meta-object system, without dialogs.
#include "trend/trendmodel.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

class frmMain;
class QAction;
class QMenu;
class QPoint;
class Recorder;
class TrendWindow;

class ValueTools : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool recording READ isRecording NOTIFY recordingChanged)
public:
    explicit ValueTools(frmMain *window);
    ~ValueTools() override;

    bool isRecording() const;
    QAction *copyAction() const { return m_copy; }
    QAction *startAction() const { return m_start; }
    QAction *stopAction() const { return m_stop; }
    QAction *trendAction() const { return m_trend; }
    TrendWindow *trendWindow() const; // null until first shown

    // Each row's name and unit.
    QStringList names() const;
    QStringList units() const;

public slots:
    void copyValues();
    void chooseRecording(); // asks for the file
    bool startRecording(const QString &path);
    void stopRecording();
    void showTrend();

signals:
    void recordingChanged(bool recording);

private:
    void showMenu(const QPoint &pos);
    void valuesDecoded(const QStringList &shown, const QList<double> &values);
    void recordingFailed(const QString &reason);

    frmMain *m_window;
    Recorder *m_recorder;
    TrendModel m_trendModel;
    QPointer<TrendWindow> m_trendWindow;
    QMenu *m_menu = nullptr;
    QAction *m_copy, *m_start, *m_stop, *m_trend;
};
