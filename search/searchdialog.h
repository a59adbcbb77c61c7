#pragma once
// The "查找模块" dialog: where to look, start and stop, what is being tried, and what was found.
#include "search/searcher.h"

#include <QDialog>
#include <QList>

class QComboBox;
class QProgressBar;
class QPushButton;
class QTableWidget;

class SearchDialog : public QDialog
{
    Q_OBJECT
public:
    SearchDialog(const QString &chosenPort, QWidget *parent);

    bool allPorts() const;
    void setRunning(bool running, int steps = 0);
    void showTry(const QString &what, int step);
    void addFind(const SearchFind &find);
    // The selected find, when it is one that can be used.
    const SearchFind *chosenFind() const;

    QComboBox *scope;
    QPushButton *startButton, *stopButton, *useButton, *closeButton;
    QProgressBar *progress;
    QTableWidget *finds;

private:
    void selectionChanged();
    QList<SearchFind> m_finds; // by row
};
