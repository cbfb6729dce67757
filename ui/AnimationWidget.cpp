#include "AnimationWidget.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

AnimationWidget::AnimationWidget(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
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
    m_changed.clear();
    m_frame = 0;
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

void AnimationWidget::paintEvent(QPaintEvent *)
{
    if (m_clip.frames.isEmpty())
        return;
    QPainter painter(this);
    painter.drawImage(frameOrigin(), m_clip.frames.at(m_frame));
}
