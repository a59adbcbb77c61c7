#pragma once
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QPoint>
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

QPixmap lampPixmap(const QColor &color);
QIcon applicationIcon();
