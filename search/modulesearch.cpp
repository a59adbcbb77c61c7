#include "search/modulesearch.h"

#include "app/frmMain.h"
#include "polling/Timer.h"
#include "search/portlist.h"
#include "search/searchdialog.h"
#include "serial/MSComm.h"
#include "serial/portname.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

ModuleSearch::ModuleSearch(frmMain *window)
    : QObject(window), m_window(window), m_searcher(new Searcher(window->programDir(), this)),
      m_menu(new QMenu(window))
{
    setObjectName(QStringLiteral("ModuleSearch"));
    m_menu->addAction(QStringLiteral("查找模块..."), this, &ModuleSearch::openDialog);

    QGroupBox *group = window->Frame5;
    group->setToolTip(QStringLiteral("右键: 查找模块"));
    group->setContextMenuPolicy(Qt::CustomContextMenu);
    // The lists and the button keep their own behaviour; the labels pass the click to the group.
    for (QWidget *own : {static_cast<QWidget *>(window->Combo1), static_cast<QWidget *>(window->Combo2),
                         static_cast<QWidget *>(window->cmdCom)})
        own->setContextMenuPolicy(Qt::PreventContextMenu);
    connect(group, &QWidget::customContextMenuRequested, this,
            [this, group](const QPoint &pos) { m_menu->popup(group->mapToGlobal(pos)); });

    connect(m_searcher, &Searcher::trying, this, [this](const QString &what, int step) {
        if (m_dialog)
            m_dialog->showTry(what, step);
    });
    connect(m_searcher, &Searcher::found, this, [this](const SearchFind &find) {
        if (m_dialog)
            m_dialog->addFind(find);
    });
    connect(m_searcher, &Searcher::finished, this, [this] {
        if (m_dialog)
            m_dialog->setRunning(false);
    });
}

SearchDialog *ModuleSearch::dialog() const { return m_dialog; }

void ModuleSearch::openDialog()
{
    if (m_dialog)
        return;
    m_window->Timer2->setEnabled(false);
    m_savedPort = m_window->MSComm1->CommPort();
    m_savedOpen = m_window->MSComm1->PortOpen();
    // The search has the line to itself.
    m_window->MSComm1->setPortOpen(false);

    const int chosen = selectedEntry(m_window->Combo1);
    m_dialog = new SearchDialog(chosen < 0 ? QString() : m_window->Combo1->itemText(chosen), m_window);
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (chosen < 0)
        m_dialog->scope->setCurrentIndex(1);
    connect(m_dialog->startButton, &QPushButton::clicked, this, &ModuleSearch::startSearch);
    connect(m_dialog->stopButton, &QPushButton::clicked, m_searcher, &Searcher::stop);
    connect(m_dialog, &QDialog::finished, this, &ModuleSearch::dialogFinished);
    m_dialog->open();
}

void ModuleSearch::startSearch()
{
    const QString dir = m_window->programDir();
    const int count = m_window->Combo1->count();
    QList<SearchPort> ports;
    const int chosen = selectedEntry(m_window->Combo1);
    if (m_dialog->allPorts())
        ports = portsToSearch(dir, count, m_systemPorts());
    else if (chosen >= 0)
        ports.append({m_window->Combo1->itemText(chosen), chosen + 1, portDeviceName(chosen + 1, dir)});
    m_dialog->setRunning(true, Searcher::steps(int(ports.size())));
    m_searcher->start(ports, m_window->CommRate);
}

void ModuleSearch::dialogFinished(int result)
{
    const SearchFind *chosen = m_dialog ? m_dialog->chosenFind() : nullptr;
    const std::optional<SearchFind> find = chosen ? std::optional<SearchFind>(*chosen) : std::nullopt;
    m_searcher->stop();
    if (result == QDialog::Accepted && find)
        use(*find);
    else
        restorePort();
}

void ModuleSearch::restorePort()
{
    MSComm *port = m_window->MSComm1;
    port->setCommPort(m_savedPort);
    port->setSettings(lineSettings(m_window->CommRate));
    if (m_savedOpen)
        port->setPortOpen(true);
}

void ModuleSearch::use(SearchFind find)
{
#ifdef Q_OS_UNIX
    if (find.port.number == 0) {
        const QString dir = m_window->programDir();
        const int n = freeLinkNumber(dir, m_window->Combo1->count(), m_systemPorts());
        const QString link = QDir(dir).filePath(QStringLiteral("COM%1").arg(n));
        if (n == 0 || !QFile::link(stableDevicePath(find.port.device), link)) {
            m_window->MsgBox(n == 0 ? QStringLiteral("没有空闲的端口号可以指向 %1").arg(find.port.device)
                                    : QStringLiteral("无法建立链接 %1").arg(link),
                             QStringLiteral("查找模块"), QMessageBox::Warning);
            restorePort();
            return;
        }
        find.port.number = n;
    }
#endif
    m_window->Combo1->setCurrentIndex(find.port.number - 1);
    m_window->Combo1_Click();
    m_window->Combo2->setCurrentIndex(m_window->Combo2->findText(QString::number(find.rate)));
    const QString address = QString::number(find.address);
    m_window->txtStationID->setText(address);
    m_window->txtSetID[0]->setText(address);
    m_window->cmdCom_Click();
}
