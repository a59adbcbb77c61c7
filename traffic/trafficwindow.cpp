#include "traffic/trafficwindow.h"

#include "traffic/trafficmodel.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

TrafficWindow::TrafficWindow(TrafficModel *model, QWidget *parent)
    : QWidget(parent, Qt::Window), m_model(model)
{
    setObjectName(QStringLiteral("TrafficWindow"));
    setWindowTitle(QStringLiteral("通信记录"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Its text changes with every batch of rows: the window is not laid out again for it.
    m_summary->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_failuresOnly = new QCheckBox(QStringLiteral("只看异常"), this);
    auto *clear = new QPushButton(QStringLiteral("清空"), this);
    auto *save = new QPushButton(QStringLiteral("保存..."), this);
    clear->setObjectName(QStringLiteral("clear"));
    save->setObjectName(QStringLiteral("save"));

    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(model);
    m_proxy->setFilterRole(TrafficModel::AnomalyRole);
    m_view = new QTableView(this);
    m_view->setModel(m_proxy);
    m_view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    // One fixed height: no row is measured, however many there are.
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 4);
    const int digit = m_view->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    // In digits: an answer of ten registers (25 bytes) nearly whole, its tool tip shows all of it.
    const int widths[] = {13, 24, 60, 10, 10};
    int width = 40 * digit; // the verdict's column and the margins
    for (int column = 0; column < 5; ++column) {
        m_view->setColumnWidth(column, (widths[column] + 2) * digit);
        width += m_view->columnWidth(column);
    }
    m_view->horizontalHeader()->setStretchLastSection(true);

    auto *controls = new QHBoxLayout;
    controls->addWidget(m_failuresOnly);
    controls->addStretch();
    controls->addWidget(clear);
    controls->addWidget(save);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addLayout(controls);
    layout->addWidget(m_view);
    // Bounded by the screen: a large scale factor would put the buttons off it.
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableGeometry().size() * 0.9 : QSize(width, 480);
    resize(qMin(width, room.width()), qMin(480, room.height()));

    connect(m_failuresOnly, &QCheckBox::toggled, this,
            [this](bool on) { m_proxy->setFilterFixedString(on ? QStringLiteral("true") : QString()); });
    connect(clear, &QPushButton::clicked, this, &TrafficWindow::clearRequested);
    connect(save, &QPushButton::clicked, this, &TrafficWindow::saveRequested);
    connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, this, &TrafficWindow::saveRequested);

    QScrollBar *bar = m_view->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) { m_follow = value == bar->maximum(); });
    // Rows come in batches, a few times a second.
    connect(model, &QAbstractItemModel::rowsInserted, this, &TrafficWindow::refresh);
    connect(model, &QAbstractItemModel::modelReset, this, &TrafficWindow::refresh);
    refresh();
}

void TrafficWindow::refresh()
{
    m_summary->setText(m_model->summary());
    if (m_follow)
        m_view->scrollToBottom();
}
