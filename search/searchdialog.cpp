#include "search/searchdialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

SearchDialog::SearchDialog(const QString &chosenPort, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SearchDialog"));
    setWindowTitle(QStringLiteral("查找模块"));
    setModal(true);

    scope = new QComboBox(this);
    scope->addItems({chosenPort.isEmpty() ? QStringLiteral("所选端口") : chosenPort, QStringLiteral("所有端口")});
    startButton = new QPushButton(QStringLiteral("开始查找"), this);
    stopButton = new QPushButton(QStringLiteral("停止"), this);
    useButton = new QPushButton(QStringLiteral("使用"), this);
    closeButton = new QPushButton(QStringLiteral("关闭"), this);
    progress = new QProgressBar(this);
    progress->setTextVisible(true);
    progress->setFormat(QString());
    finds = new QTableWidget(0, 4, this);
    finds->setHorizontalHeaderLabels({QStringLiteral("端口"), QStringLiteral("波特率"), QStringLiteral("地址"),
                                      QStringLiteral("寄存器0")});
    finds->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    finds->verticalHeader()->hide();
    finds->setSelectionBehavior(QAbstractItemView::SelectRows);
    finds->setSelectionMode(QAbstractItemView::SingleSelection);
    finds->setEditTriggers(QAbstractItemView::NoEditTriggers);
    finds->setTabKeyNavigation(false); // Tab goes on to the buttons
    // Only the default button takes Enter: a disabled "开始查找" hands the focus to "关闭", which as an
    // auto-default button would close the dialog and lose the find.
    for (QPushButton *button : {startButton, stopButton, useButton, closeButton})
        button->setAutoDefault(false);

    auto *where = new QHBoxLayout;
    where->addWidget(new QLabel(QStringLiteral("查找范围:"), this));
    where->addWidget(scope, 1);
    where->addWidget(startButton);
    where->addWidget(stopButton);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(useButton);
    buttons->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("查找期间轮询已停止，串口由查找独占；不按“使用”关闭本窗口时，串口恢复原样。"), this));
    layout->addLayout(where);
    layout->addWidget(progress);
    layout->addWidget(finds, 1);
    layout->addLayout(buttons);
    resize(520, 340);

    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(useButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(finds, &QTableWidget::itemSelectionChanged, this, &SearchDialog::selectionChanged);
    setRunning(false);
}

bool SearchDialog::allPorts() const { return scope->currentIndex() == 1; }

void SearchDialog::setRunning(bool running, int steps)
{
    scope->setEnabled(!running);
    startButton->setEnabled(!running);
    stopButton->setEnabled(running);
    if (running) {
        finds->setRowCount(0);
        m_finds.clear();
        progress->setRange(0, steps);
        progress->setValue(0);
    } else {
        progress->setValue(progress->maximum());
        progress->setFormat(m_finds.isEmpty() ? QStringLiteral("结束") : QStringLiteral("结束: 找到 %1 项").arg(m_finds.size()));
    }
    selectionChanged();
}

void SearchDialog::showTry(const QString &what, int step)
{
    progress->setValue(step);
    progress->setFormat(what);
}

void SearchDialog::addFind(const SearchFind &find)
{
    const int row = finds->rowCount();
    finds->insertRow(row);
    m_finds.append(find);
    finds->setItem(row, 0, new QTableWidgetItem(find.port.label));
    if (!find.failure.isEmpty()) {
        finds->setItem(row, 1, new QTableWidgetItem(find.failure));
        finds->setSpan(row, 1, 1, 3);
        return;
    }
    const QStringList cells{QString::number(find.rate), QString::number(find.address), QString::number(find.value)};
    for (int column = 1; column <= 3; ++column)
        finds->setItem(row, column, new QTableWidgetItem(cells[column - 1]));
    if (!finds->selectionModel()->hasSelection())
        finds->selectRow(row);
}

const SearchFind *SearchDialog::chosenFind() const
{
    const QModelIndexList rows = finds->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return nullptr;
    const SearchFind &find = m_finds.at(rows.first().row());
    return find.failure.isEmpty() ? &find : nullptr;
}

void SearchDialog::selectionChanged()
{
    const bool usable = chosenFind() != nullptr;
    useButton->setEnabled(usable);
    // Enter starts a search until there is something to use.
    useButton->setDefault(usable);
    startButton->setDefault(!usable);
}
