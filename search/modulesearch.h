#pragma once
// "查找模块" from the context menu of the group "串口设置": finds the port, rate and address of a
// module and hands them to the window's own apply-and-save. Made from outside the window, once.
#include "search/searcher.h"
#include "serial/systemports.h"

#include <QObject>
#include <QPointer>
#include <functional>

class frmMain;
class QMenu;
class SearchDialog;

class ModuleSearch : public QObject
{
    Q_OBJECT
public:
    explicit ModuleSearch(frmMain *window);

    // The system's port list; a test gives its own.
    void setSystemPorts(std::function<QList<SystemPort>()> list) { m_systemPorts = std::move(list); }
    Searcher *searcher() const { return m_searcher; }
    SearchDialog *dialog() const;

public slots:
    // Stops polling, closes the window's port and opens the dialog (modal, without blocking).
    void openDialog();

private:
    void startSearch();
    void dialogFinished(int result);
    void restorePort();
    void use(SearchFind find);

    frmMain *m_window;
    Searcher *m_searcher;
    QMenu *m_menu;
    QPointer<SearchDialog> m_dialog;
    std::function<QList<SystemPort>()> m_systemPorts = systemPorts;
    qint16 m_savedPort = 1;
    bool m_savedOpen = false;
};
