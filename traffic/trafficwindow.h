#pragma once
// The window "通信记录": a summary line, the controls and the rows of the traffic log.
#include <QWidget>

class QCheckBox;
class QLabel;
class QSortFilterProxyModel;
class QTableView;
class TrafficModel;

class TrafficWindow : public QWidget
{
    Q_OBJECT
public:
    TrafficWindow(TrafficModel *model, QWidget *parent);

    QTableView *view() const { return m_view; }
    QCheckBox *failuresOnly() const { return m_failuresOnly; }

signals:
    void clearRequested();
    void saveRequested();

private:
    void refresh();

    TrafficModel *m_model;
    QSortFilterProxyModel *m_proxy;
    QLabel *m_summary;
    QCheckBox *m_failuresOnly;
    QTableView *m_view;
    bool m_follow = true; // the view is at its end and keeps to the newest row
};
