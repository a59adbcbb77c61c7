#include "app/widgets.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QWheelEvent>
#include <QPainter>
#include <QRadialGradient>

LineWidget::LineWidget(QPoint from, QPoint to, QWidget *parent)
    : QWidget(parent), m_from(from), m_to(to)
{
    // Spans both tips: a normalized QRect(from, to) would lose a column when from lies right of to.
    setGeometry(QRect(QPoint(qMin(from.x(), to.x()), qMin(from.y(), to.y())),
                      QPoint(qMax(from.x(), to.x()), qMax(from.y(), to.y()))));
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ListField::focusOutEvent(QFocusEvent *event)
{
    const QSignalBlocker quiet(this); // editingFinished would make the list select its text
    QLineEdit::focusOutEvent(event);
}

void ListField::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return QLineEdit::keyPressEvent(event);
    const QSignalBlocker quiet(this); // as would returnPressed
    QLineEdit::keyPressEvent(event);
}

ChoiceList::ChoiceList(QWidget *parent) : QComboBox(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void ChoiceList::wheelEvent(QWheelEvent *event)
{
    if (!hasFocus())
        return event->ignore();
    QComboBox::wheelEvent(event);
}

CaretBlinkTimeout::CaretBlinkTimeout(int idleMs, QObject *parent)
    : QObject(parent), m_flashTime(QApplication::cursorFlashTime())
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleMs);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        m_stopped = true;
        QApplication::setCursorFlashTime(0); // the caret stays shown
    });
    m_idle.start();
    qApp->installEventFilter(this);
}

CaretBlinkTimeout::~CaretBlinkTimeout()
{
    if (m_stopped)
        QApplication::setCursorFlashTime(m_flashTime);
}

bool CaretBlinkTimeout::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::InputMethod:
        if (m_stopped) {
            m_stopped = false;
            QApplication::setCursorFlashTime(m_flashTime);
        }
        m_idle.start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void LineWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawLine(m_from - pos(), m_to - pos());
}

QPixmap lampPixmap(const QColor &color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient shine(QPointF(6, 5), 9);
    shine.setColorAt(0, color.lighter(170));
    shine.setColorAt(1, color.darker(120));
    painter.setBrush(shine);
    painter.setPen(QPen(color.darker(200), 1));
    painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    return pixmap;
}
