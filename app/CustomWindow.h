// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: moved by dragging its background, with a full screen of its own.
#pragma once

#include <QMainWindow>
#include <QPoint>
#include <QRect>

namespace daxo {

class CustomWindow : public QMainWindow {
    Q_OBJECT
    Q_PROPERTY(bool isFullScreen READ isFullScreen NOTIFY isFullScreenChanged)
public:
    explicit CustomWindow(QWidget* parent = nullptr);

    // The frame full screen returns to: the launch frame, then the frame before full screen.
    QRect initialFrame() const { return m_initialFrame; }
    void setInitialFrame(const QRect& frame) { m_initialFrame = frame; }
    bool isFullScreen() const { return m_isFullScreen; }
    void enterFullscreen();
    void leaveFullscreen();

signals:
    void windowWillClose();
    void isFullScreenChanged(bool fullScreen);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRect m_initialFrame;
    QPoint m_initialLocation;
    bool m_dragging = false;
    bool m_isFullScreen = false;
};

} // namespace daxo
