#pragma once

#include "AviReader.h"

#include <QTimer>
#include <QWidget>

// The transfer animation: plays a silent AVI clip in a loop, centred, at the
// clip's own frame rate while it is open, and shows only the button-face
// background once closed. The clip's ground follows the palette's button
// face, and on a dark face its dark lines turn to the palette's text colour.
class AnimationWidget : public QWidget
{
    Q_OBJECT
  public:
    explicit AnimationWidget(QWidget *parent = nullptr);

    // False (and nothing shown) when the clip cannot be read.
    bool open(const QString &path);
    void close();

    bool isOpen() const { return !m_clip.frames.isEmpty(); }
    int currentFrame() const { return m_frame; }
    int frameCount() const { return int(m_clip.frames.size()); }
    QString lastError() const { return m_error; }

    // The smallest rectangle holding every pixel that differs between two
    // frames of the same size; empty when they are the same. Only that part
    // of the widget is repainted when the clip moves on.
    static QRect changedRect(const QImage &from, const QImage &to);
    // frame as shown in palette.
    static QImage adapted(const QImage &frame, const QPalette &palette);

  protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

  private:
    void advance();
    void adaptToPalette();
    QPoint frameOrigin() const;

    AviClip m_clip;
    QList<QImage> m_shown;  // the clip's frames in the widget's palette
    QList<QRect> m_changed; // per frame: what differs from the frame before
    int m_frame = 0;
    QTimer m_timer;
    QString m_error;
};
