#include "AnimationWidget.h"

#include <QPainter>

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
    if (m_clip.frames.size() > 1)
        m_timer.start(std::chrono::duration_cast<std::chrono::milliseconds>(m_clip.frameDuration));
    update();
    return true;
}

void AnimationWidget::close()
{
    m_timer.stop();
    m_clip = AviClip{};
    m_frame = 0;
    update();
}

void AnimationWidget::advance()
{
    if (m_clip.frames.isEmpty())
        return;
    m_frame = (m_frame + 1) % int(m_clip.frames.size());
    update();
}

void AnimationWidget::paintEvent(QPaintEvent *)
{
    if (m_clip.frames.isEmpty())
        return;
    QPainter painter(this);
    const QImage &image = m_clip.frames.at(m_frame);
    const QPoint topLeft((width() - image.width()) / 2, (height() - image.height()) / 2);
    painter.drawImage(topLeft, image);
}
