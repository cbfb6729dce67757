#include "AnimationWidget.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>
#include <cstring>

AnimationWidget::AnimationWidget(QWidget *parent) : QWidget(parent)
{
    // While a clip plays: the button face of whatever palette is in use,
    // light, dark or high contrast, also when it changes while the program
    // runs. Without one, nothing: the window shows through, not a block.
    setBackgroundRole(QPalette::Button);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &AnimationWidget::advance);
}

bool AnimationWidget::open(const QString &path)
{
    close();
    auto clip = AviReader::read(path, &m_error);
    if (!clip)
        return false;
    m_clip = std::move(*clip);
    m_error.clear();
    m_frame = 0;
    setAutoFillBackground(true);
    adaptToPalette();
    // Most of a frame stays as it was (the PC and the desk); repainting
    // only what moves keeps the animation cheap during a long transfer.
    const qsizetype count = m_clip.frames.size();
    for (qsizetype i = 0; i < count; ++i)
        m_changed.append(
            changedRect(m_clip.frames.at((i + count - 1) % count), m_clip.frames.at(i)));
    if (m_clip.frames.size() > 1)
        m_timer.start(std::chrono::duration_cast<std::chrono::milliseconds>(m_clip.frameDuration));
    update();
    return true;
}

void AnimationWidget::close()
{
    m_timer.stop();
    m_clip = AviClip{};
    m_shown.clear();
    m_changed.clear();
    m_frame = 0;
    setAutoFillBackground(false);
    update();
}

void AnimationWidget::advance()
{
    if (m_clip.frames.isEmpty())
        return;
    m_frame = (m_frame + 1) % int(m_clip.frames.size());
    const QRect changed = m_changed.value(m_frame);
    if (!changed.isEmpty())
        update(changed.translated(frameOrigin()));
}

QPoint AnimationWidget::frameOrigin() const
{
    const QSize size = m_clip.frames.isEmpty() ? QSize() : m_clip.frames.first().size();
    return {(width() - size.width()) / 2, (height() - size.height()) / 2};
}

QRect AnimationWidget::changedRect(const QImage &from, const QImage &to)
{
    if (from.size() != to.size() || from.format() != to.format())
        return to.rect();
    int left = to.width(), right = -1, top = to.height(), bottom = -1;
    const qsizetype rowBytes = qsizetype(to.width()) * to.depth() / 8;
    for (int y = 0; y < to.height(); ++y) {
        const uchar *a = from.constScanLine(y);
        const uchar *b = to.constScanLine(y);
        if (std::memcmp(a, b, size_t(rowBytes)) == 0)
            continue;
        top = std::min(top, y);
        bottom = y;
        for (int x = 0; x < to.width(); ++x) {
            if (from.pixel(x, y) != to.pixel(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    if (bottom < 0)
        return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

QImage AnimationWidget::adapted(const QImage &frame, const QPalette &palette)
{
    // The clip is drawn on the classic button face, in dark lines. Its
    // ground takes the palette's button face; on a dark face its dark lines
    // and bodies take the palette's button text, so that they stay visible.
    const QRgb ground = frame.pixel(0, 0);
    const QColor face = palette.color(QPalette::Button);
    const QRgb ink = palette.color(QPalette::ButtonText).rgb();
    const bool darkFace = face.lightness() < 128;
    if (face.rgb() == ground && !darkFace)
        return frame;
    QImage shown = frame.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < shown.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(shown.scanLine(y));
        for (int x = 0; x < shown.width(); ++x) {
            if (line[x] == ground)
                line[x] = face.rgb();
            else if (darkFace && QColor(line[x]).lightness() < 0x60)
                line[x] = ink;
        }
    }
    return shown;
}

void AnimationWidget::adaptToPalette()
{
    m_shown.clear();
    for (const QImage &frame : std::as_const(m_clip.frames))
        m_shown.append(adapted(frame, palette()));
}

void AnimationWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange) {
        adaptToPalette();
        update();
    }
    QWidget::changeEvent(event);
}

void AnimationWidget::paintEvent(QPaintEvent *)
{
    if (m_shown.isEmpty())
        return;
    QPainter painter(this);
    painter.drawImage(frameOrigin(), m_shown.at(m_frame));
}
