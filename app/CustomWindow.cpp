// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CustomWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

namespace daxo {

CustomWindow::CustomWindow(QWidget* parent) : QMainWindow(parent) {}

void CustomWindow::closeEvent(QCloseEvent* event) {
    emit windowWillClose();
    QMainWindow::closeEvent(event);
}

void CustomWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && m_isFullScreen) {
        leaveFullscreen();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void CustomWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_initialLocation = event->position().toPoint();
        m_dragging = true;
    }
    QMainWindow::mousePressEvent(event);
}

void CustomWindow::mouseReleaseEvent(QMouseEvent* event) {
    m_dragging = false;
    QMainWindow::mouseReleaseEvent(event);
}

void CustomWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging || !(event->buttons() & Qt::LeftButton) || m_isFullScreen) {
        QMainWindow::mouseMoveEvent(event);
        return;
    }
    QPoint origin = pos() + (event->position().toPoint() - m_initialLocation);
    // The top edge stays below the top of the screen's visible area.
    if (const QScreen* s = screen()) {
        const QRect visible = s->availableGeometry();
        origin.setY(std::max(origin.y(), visible.top()));
    }
    move(origin);
}

void CustomWindow::enterFullscreen() {
    if (m_isFullScreen)
        return;
    m_isFullScreen = true;
    m_initialFrame = geometry(); // full screen returns to the frame the window had before
    if (const QScreen* s = screen())
        setGeometry(s->geometry());
    showFullScreen();
    emit isFullScreenChanged(true);
}

void CustomWindow::leaveFullscreen() {
    if (!m_isFullScreen)
        return;
    m_isFullScreen = false;
    showNormal();
    setGeometry(m_initialFrame);
    emit isFullScreenChanged(false);
}

} // namespace daxo
