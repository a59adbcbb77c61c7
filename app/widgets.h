#pragma once
#include <QColor>
#include <QFont>
#include <QGroupBox>
#include <QHash>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QList>
#include <QMargins>
#include <QPalette>
#include <QPixmap>
#include <QPoint>
#include <QProxyStyle>
#include <QStyleOption>
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

QPixmap lampPixmap(const QColor &color);

// The window's style with the text boxes' frame drawn as one plain rectangle. Fusion strokes it as an
// antialiased rounded path, which is most of a value box's repaint, and the value boxes repaint twice
// per exchange while polling. Drawn so, a framed box covers all its pixels and is made opaque: its
// repaint then no longer repaints the group boxes beneath it.
// A group box's frame is drawn once into a pixmap and copied from it while nothing that shapes it
// changes: the status lamps flip twice per exchange and repaint their group box, whose frame Fusion
// draws afresh from an image file each time; the places of its title and check box, which take a
// measure of the title's text, are kept too.
class FlatFrameStyle : public QProxyStyle
{
public:
    void polish(QWidget *widget) override;
    using QProxyStyle::polish;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl sub,
                         const QWidget *widget = nullptr) const override;

    // Everything a group box's drawing and the places of its parts depend on.
    struct GroupBoxLook
    {
        QRect rect;
        qreal dpr;
        int sub; // the sub-control placed; -1 for the frame's drawing
        int state, subControls, activeSubControls, features, alignment;
        QRgb textColor;
        int lineWidth, midLineWidth, direction;
        qint64 palette;
        QFont font;
        QString text;
        bool operator==(const GroupBoxLook &other) const;
    };

private:
    static GroupBoxLook lookOf(const QStyleOptionGroupBox &box, const QFont &font, qreal dpr, int sub);
    mutable QHash<GroupBoxLook, QPixmap> m_groupBoxFrames;
    mutable QHash<GroupBoxLook, QRect> m_groupBoxRects;
};

size_t qHash(const FlatFrameStyle::GroupBoxLook &look, size_t seed = 0);

// Gives a widget's palette its own text colour; every other colour follows its parent.
void setPaletteTextColor(QWidget *widget, const QColor &color);

// A text box that shows again the picture of an earlier paint while nothing that paint depended on has
// changed. The value boxes repaint twice per exchange while polling, red and then black, mostly with
// the same text, the answer box shows the same answer again and again, and a line edit lays out,
// measures and draws its text on every paint. The picture is copied from the painted image right
// after a whole, ordinary paint. A box with the focus, a selection, a drag over it, no text, or a
// text not aligned left or too wide for it paints as ever.
class PictureCachedLineEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QColor textColor READ textColor WRITE setTextColor)

public:
    using QLineEdit::QLineEdit;

    // The colour the text shows in. A palette change costs more than the rest of an answer's handling,
    // so a change to a colour that a stored picture shows leaves the palette as it was until an
    // ordinary paint needs it; the palette's text colour is then not the one shown.
    QColor textColor() const;
    void setTextColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // Everything the paint of a box without the focus depends on.
    struct Look
    {
        QString text;
        QSize size;
        QPalette palette; // all but its text colour
        QRgb textColor = 0;
        int colorGroup = 0;
        QFont font;
        int alignment = 0;
        QMargins margins;
        bool enabled = false, frame = false, readOnly = false, underMouse = false;
        int direction = 0;
        const QStyle *style = nullptr;
        QImage::Format format = QImage::Format_Invalid;
        qreal dpr = 1;
        bool operator==(const Look &other) const;
    };
    Look lookOn(QImage::Format format, qreal dpr) const;
    bool paintsAsEver() const;
    bool textFits() const;
    void applyTextColor();

    QList<std::pair<Look, QImage>> m_pictures; // the latest first
    QColor m_textColor; // valid while the palette's text colour is not the one shown
    bool m_dragOver = false;
};

// A group box that shows again the picture of an earlier paint while nothing that paint depended on
// has changed. The status box repaints beneath its lamps and counters twice per exchange while
// polling, and drawing its title is most of that. The picture is copied from the painted image right
// after a whole, ordinary paint, before the children paint, so it holds the window's background under
// the box too: it serves only in a parent that paints nothing but a plain colour, with no sibling
// beneath the box, and not while the box is checkable (a check box follows the mouse).
class PictureCachedGroupBox : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Everything the paint depends on, the parent's colour included.
    struct Look
    {
        QString title;
        QSize size;
        QPalette palette;
        QRgb background = 0;
        QFont font;
        int alignment = 0, direction = 0;
        bool enabled = false, flat = false, active = false;
        const QStyle *style = nullptr;
        QImage::Format format = QImage::Format_Invalid;
        qreal dpr = 1;
        bool operator==(const Look &other) const;
    };
    bool onPlainBackground() const;
    Look lookOn(const QImage &image) const;

    Look m_look;
    QImage m_picture;
};

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
