#include "app/widgets.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QStyleOption>

#include <algorithm>
#include <cmath>

LineWidget::LineWidget(QPoint from, QPoint to, QWidget *parent)
    : QWidget(parent), m_from(from), m_to(to)
{
    setGeometry(QRect(from, to).normalized().adjusted(0, 0, 1, 1));
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void FlatFrameStyle::polish(QWidget *widget)
{
    QProxyStyle::polish(widget);
    if (const auto *box = qobject_cast<QLineEdit *>(widget); box && box->hasFrame())
        widget->setAttribute(Qt::WA_OpaquePaintEvent);
}

void FlatFrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                   const QWidget *widget) const
{
    if (element != PE_FrameLineEdit) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // Four filled edges: the cheapest way the raster engine draws them.
    const QRect r = option->rect;
    const QColor edge = option->state & State_HasFocus ? option->palette.highlight().color()
                                                       : option->palette.window().color().darker(140);
    painter->fillRect(r.left(), r.top(), r.width(), 1, edge);
    painter->fillRect(r.left(), r.bottom(), r.width(), 1, edge);
    painter->fillRect(r.left(), r.top(), 1, r.height(), edge);
    painter->fillRect(r.right(), r.top(), 1, r.height(), edge);
}

bool FlatFrameStyle::GroupBoxLook::operator==(const GroupBoxLook &other) const
{
    return rect == other.rect && dpr == other.dpr && sub == other.sub && state == other.state
        && subControls == other.subControls && activeSubControls == other.activeSubControls
        && features == other.features && alignment == other.alignment && textColor == other.textColor
        && lineWidth == other.lineWidth && midLineWidth == other.midLineWidth && direction == other.direction
        && palette == other.palette && font == other.font && text == other.text;
}

size_t qHash(const FlatFrameStyle::GroupBoxLook &look, size_t seed)
{
    return qHashMulti(seed, look.rect.x(), look.rect.y(), look.rect.width(), look.rect.height(), look.sub,
                      look.state, look.subControls, look.features, look.palette, look.text);
}

FlatFrameStyle::GroupBoxLook FlatFrameStyle::lookOf(const QStyleOptionGroupBox &box, const QFont &font, qreal dpr,
                                                    int sub)
{
    return {box.rect, dpr, sub, int(box.state), int(box.subControls), int(box.activeSubControls),
            int(box.features), int(box.textAlignment), box.textColor.rgba(), box.lineWidth, box.midLineWidth,
            int(box.direction), box.palette.cacheKey(), font, box.text};
}

void FlatFrameStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                                        QPainter *painter, const QWidget *widget) const
{
    const auto *box = qstyleoption_cast<const QStyleOptionGroupBox *>(option);
    if (control != CC_GroupBox || !box || box->rect.isEmpty() || !(box->subControls & SC_GroupBoxFrame)) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    // Only the frame is copied: text antialiased onto a transparent pixmap would not match text drawn
    // onto the window, so the title (and a check box) are drawn as ever.
    const qreal dpr = painter->device()->devicePixelRatio();
    QStyleOptionGroupBox frameOnly = *box;
    frameOnly.rect.moveTo(0, 0);
    frameOnly.subControls = SC_GroupBoxFrame;
    const GroupBoxLook look = lookOf(frameOnly, painter->font(), dpr, -1);
    QPixmap frame = m_groupBoxFrames.value(look);
    if (frame.isNull()) {
        frame = QPixmap(box->rect.size() * dpr);
        frame.setDevicePixelRatio(dpr);
        frame.fill(Qt::transparent);
        QPainter into(&frame);
        into.setFont(painter->font());
        into.setPen(painter->pen());
        into.setBrush(painter->brush());
        into.setLayoutDirection(painter->layoutDirection());
        into.setRenderHints(painter->renderHints());
        QProxyStyle::drawComplexControl(control, &frameOnly, &into, widget);
        into.end();
        if (m_groupBoxFrames.size() >= 16) // a bound, for boxes resized again and again
            m_groupBoxFrames.clear();
        m_groupBoxFrames.insert(look, frame);
    }
    painter->drawPixmap(box->rect.topLeft(), frame);
    QStyleOptionGroupBox rest = *box;
    rest.subControls &= ~SC_GroupBoxFrame;
    if (rest.subControls)
        QProxyStyle::drawComplexControl(control, &rest, painter, widget);
}

QRect FlatFrameStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl sub,
                                     const QWidget *widget) const
{
    const auto *box = qstyleoption_cast<const QStyleOptionGroupBox *>(option);
    if (control != CC_GroupBox || !box || !widget)
        return QProxyStyle::subControlRect(control, option, sub, widget);
    // Placing the title measures its text, and Fusion asks for it on every paint of the box.
    const GroupBoxLook look = lookOf(*box, widget->font(), 1, int(sub));
    if (const auto found = m_groupBoxRects.constFind(look); found != m_groupBoxRects.cend())
        return *found;
    const QRect rect = QProxyStyle::subControlRect(control, option, sub, widget);
    if (m_groupBoxRects.size() >= 256)
        m_groupBoxRects.clear();
    m_groupBoxRects.insert(look, rect);
    return rect;
}

namespace {

// The image a painter draws into, for a widget whose paint a copy of its pixels may stand for, and
// the widget's rect in it; null when the device is no image or the scale is fractional (the widget's
// edges would blend with its neighbours') or the transform turns.
const QImage *pictureDevice(const QPainter &painter, const QRect &rect, QRect *inDevice)
{
    const QPaintDevice *device = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    const QTransform toDevice = painter.deviceTransform();
    if (!device || device->devType() != QInternal::Image
        || device->devicePixelRatio() != std::round(device->devicePixelRatio())
        || toDevice.type() > QTransform::TxScale)
        return nullptr;
    *inDevice = toDevice.mapRect(rect);
    return static_cast<const QImage *>(device);
}

// Whether a paint took in all of the widget's rect, and the image holds all of it.
bool paintedWhole(const QPaintEvent &event, const QRect &rect, const QImage &image, const QRect &inDevice)
{
    return (QRegion(rect) - event.region()).isEmpty() && image.rect().contains(inDevice);
}

// Palettes that paint alike but for the text colour: their other brushes, in every group.
bool sameBesidesText(const QPalette &a, const QPalette &b)
{
    if (a.isCopyOf(b))
        return true;
    for (int group = 0; group < QPalette::NColorGroups; ++group)
        for (int role = 0; role < QPalette::NColorRoles; ++role)
            if (role != QPalette::Text
                && a.brush(QPalette::ColorGroup(group), QPalette::ColorRole(role))
                       != b.brush(QPalette::ColorGroup(group), QPalette::ColorRole(role)))
                return false;
    return true;
}

} // namespace

void setPaletteTextColor(QWidget *widget, const QColor &color)
{
    // One palette serves every call: widgets get resolved copies, so changing its colour copies nothing.
    static QPalette textOnly;
    textOnly.setColor(QPalette::Text, color);
    widget->setPalette(textOnly);
}

bool PictureCachedLineEdit::Look::operator==(const Look &other) const
{
    return text == other.text && textColor == other.textColor && size == other.size && colorGroup == other.colorGroup
        && alignment == other.alignment && margins == other.margins && enabled == other.enabled
        && frame == other.frame && readOnly == other.readOnly && underMouse == other.underMouse
        && direction == other.direction && style == other.style && format == other.format && dpr == other.dpr
        && font == other.font && sameBesidesText(palette, other.palette);
}

PictureCachedLineEdit::Look PictureCachedLineEdit::lookOn(QImage::Format format, qreal dpr) const
{
    const QPalette &colors = palette();
    return {text(),        size(),      colors,      textColor().rgba(), int(colors.currentColorGroup()),
            font(),        int(alignment()), textMargins(), isEnabled(), hasFrame(), isReadOnly(), underMouse(),
            int(layoutDirection()), style(), format, dpr};
}

QColor PictureCachedLineEdit::textColor() const
{
    return m_textColor.isValid() ? m_textColor : palette().color(QPalette::Text);
}

void PictureCachedLineEdit::setTextColor(const QColor &color)
{
    if (color == textColor())
        return;
    if (color == palette().color(QPalette::Text)) {
        m_textColor = QColor(); // back to what the palette holds
        update();
        return;
    }
    m_textColor = color;
    const QString shown = text();
    const auto candidate = [&](const std::pair<Look, QImage> &picture) {
        return picture.first.text == shown && picture.first.textColor == color.rgba();
    };
    if (std::any_of(m_pictures.cbegin(), m_pictures.cend(), candidate) && !paintsAsEver()) {
        const Look &latest = m_pictures.first().first;
        const Look wanted = lookOn(latest.format, latest.dpr);
        for (auto &picture : m_pictures) {
            if (picture.first == wanted) {
                picture.first.palette = wanted.palette; // shared from now on: found again at once
                update();
                return;
            }
        }
    }
    applyTextColor(); // the coming paint draws the text, with the palette's colour
}

void PictureCachedLineEdit::applyTextColor()
{
    const QColor color = m_textColor;
    m_textColor = QColor();
    setPaletteTextColor(this, color);
}

bool PictureCachedLineEdit::paintsAsEver() const
{
    // A paint also sets where the text is scrolled to, which a picture skips: only left-aligned text
    // that fits is never scrolled, whatever was painted before it.
    const bool leftAligned = QStyle::visualAlignment(layoutDirection(), alignment()) & Qt::AlignLeft;
    return hasFocus() || hasSelectedText() || m_dragOver || echoMode() != Normal || !inputMask().isEmpty()
        || text().isEmpty() || !leftAligned;
}

bool PictureCachedLineEdit::textFits() const
{
    // A text wider than the box scrolls with the caret, which the look leaves out. The characters'
    // own widths, without laying the text out again, with room to spare for kerning.
    const int room = width() - 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this)
                   - textMargins().left() - textMargins().right() - 8;
    const QFontMetrics metrics = fontMetrics();
    int advance = 0;
    for (const QChar c : text())
        advance += metrics.horizontalAdvance(c);
    return advance <= room;
}

void PictureCachedLineEdit::paintEvent(QPaintEvent *event)
{
    const QImage *image = nullptr;
    QRect inDevice;
    Look look;
    if (!paintsAsEver()) {
        QPainter painter(this);
        image = pictureDevice(painter, rect(), &inDevice);
        if (image) {
            look = lookOn(image->format(), image->devicePixelRatio());
            for (int i = 0; i < m_pictures.size(); ++i) {
                if (m_pictures[i].first == look) {
                    m_pictures[i].first.palette = look.palette; // shared from now on: found again at once
                    painter.drawImage(QPoint(0, 0), m_pictures[i].second);
                    m_pictures.move(i, 0);
                    return;
                }
            }
        }
    }
    // An ordinary paint draws the text in the palette's colour. Its change asks for a paint again,
    // which the picture stored below then serves.
    if (m_textColor.isValid())
        applyTextColor();
    QLineEdit::paintEvent(event);
    if (!textFits()) {
        // The paint scrolled the text, which showing a picture would not undo: no picture until an
        // ordinary paint of a text that fits has set the scroll again.
        m_pictures.clear();
        return;
    }
    // Only a whole paint is a picture of the box; the box paints every pixel of itself.
    if (!image || !paintedWhole(*event, rect(), *image, inDevice))
        return;
    m_pictures.prepend({look, image->copy(inDevice)}); // the copy keeps the image's pixel ratio
    if (m_pictures.size() > 4) // a value box's red and black picture of its last two texts
        m_pictures.removeLast();
}

void PictureCachedLineEdit::dragEnterEvent(QDragEnterEvent *event)
{
    m_dragOver = true; // the box shows a drop caret
    QLineEdit::dragEnterEvent(event);
}

void PictureCachedLineEdit::dragLeaveEvent(QDragLeaveEvent *event)
{
    m_dragOver = false;
    QLineEdit::dragLeaveEvent(event);
}

void PictureCachedLineEdit::dropEvent(QDropEvent *event)
{
    m_dragOver = false;
    QLineEdit::dropEvent(event);
}

bool PictureCachedGroupBox::Look::operator==(const Look &other) const
{
    return title == other.title && size == other.size && background == other.background
        && alignment == other.alignment && direction == other.direction && enabled == other.enabled
        && flat == other.flat && active == other.active && style == other.style && format == other.format
        && dpr == other.dpr && font == other.font && palette == other.palette;
}

bool PictureCachedGroupBox::onPlainBackground() const
{
    // What Qt fills beneath the box before it paints: the parent's own colour, with no picture or
    // gradient in it. (The parent is one of this program's, which paints nothing else.)
    const QWidget *parent = parentWidget();
    return parent && (parent->isWindow() || parent->autoFillBackground())
        && parent->palette().window().style() == Qt::SolidPattern && !isCheckable();
}

PictureCachedGroupBox::Look PictureCachedGroupBox::lookOn(const QImage &image) const
{
    return {title(),          size(),           palette(), parentWidget()->palette().window().color().rgba(),
            font(),           int(alignment()), int(layoutDirection()),
            isEnabled(),      isFlat(),         isActiveWindow(),
            style(),          image.format(),   image.devicePixelRatio()};
}

void PictureCachedGroupBox::paintEvent(QPaintEvent *event)
{
    const QImage *image = nullptr;
    QRect inDevice;
    Look look;
    if (onPlainBackground()) {
        QPainter painter(this);
        image = pictureDevice(painter, rect(), &inDevice);
        if (image) {
            look = lookOn(*image);
            if (!m_picture.isNull() && m_look == look) {
                painter.drawImage(QPoint(0, 0), m_picture);
                return;
            }
        }
    }
    QGroupBox::paintEvent(event);
    // Only a whole paint is a picture of the box, and only one the parent's background lies under.
    if (!image || !paintedWhole(*event, rect(), *image, inDevice))
        return;
    m_look = look;
    m_picture = image->copy(inDevice); // the copy keeps the image's pixel ratio
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
