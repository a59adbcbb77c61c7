#pragma once
#include <QColor>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPoint>
#include <QTimer>
#include <QWidget>

// A straight line between two points of its parent, drawn over whatever lies beneath it.
class LineWidget : public QWidget
{
public:
    LineWidget(QPoint from, QPoint to, QWidget *parent);
    QPoint from() const { return m_from; }
    QPoint to() const { return m_to; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QPoint m_from, m_to;
};

// The text field of a port or rate list. An editable QComboBox selects the entry that its field
// reads when the field loses the focus or gets Enter; here only the list, the arrow keys and the
// start-up choose, and the typed text stays as it was typed.
class ListField : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

// A port or rate list. The wheel steps through it only while it has the keyboard focus, and does not
// give it the focus: a pointer passing over it must not reopen the line or change the stored rate.
class ChoiceList : public QComboBox
{
public:
    explicit ChoiceList(QWidget *parent);

protected:
    void wheelEvent(QWheelEvent *event) override;
};

QPixmap lampPixmap(const QColor &color);

// Stops the text caret's blinking after a while without keyboard or mouse input, as desktops do, and
// starts it again with the next input: a blinking caret would wake an idle window twice a second.
class CaretBlinkTimeout : public QObject
{
public:
    CaretBlinkTimeout(int idleMs, QObject *parent);
    ~CaretBlinkTimeout() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTimer m_idle;
    int m_flashTime;
    bool m_stopped = false;
};
