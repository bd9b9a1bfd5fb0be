// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's geometry: where its boxes go, its size steps and full screen, and the
// pictures growing into their places after an exchange.
#include "app/ZLXAppDelegate.h"

#include "app/player/ZLXVideoView.h"
#include "app/thumbnails/ZLXThumbnailStrip.h"
#include "presentation/ZLXWindowLayout.h"
#include "widgets/PMProgressIndicator.h"
#include "ui_MainMenu.h"

#include <QAbstractItemView>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QScreen>

namespace daxo {
namespace {

// the trip's slider and its strip of pictures, each with the space above it
constexpr int kTripSliderHeight = 20 + ZLXThumbnailStrip::kHeight + 4;

void place(QWidget* w, const ZLXRect& r) {
    w->setGeometry(r.x, r.y, r.width, r.height);
}

} // namespace

QRect ZLXAppDelegate::minWindowFrame() const {
    const QScreen* screen = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
    const QRect visible = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), minWindowSize());
    const QSize size = minWindowSize();
    return QRect(visible.topLeft() + QPoint((visible.width() - size.width()) / 2, (visible.height() - size.height()) / 2),
                 size);
}

void ZLXAppDelegate::setTripListView(QWidget* tripList) {
    m_tripListView = tripList;
    for (QAbstractItemView* list : tripList->findChildren<QAbstractItemView*>())
        list->installEventFilter(this); // the trips' list keeps its keys as the table does
    updateSideViewButton();
}

void ZLXAppDelegate::setTripSliderShown(bool shown) {
    m_tripSliderShown = shown;
    layoutWindow();
}

void ZLXAppDelegate::layoutWindow() {
    const bool full = m_window->isFullScreen();
    const QSize content = m_window->centralWidget()->size();
    const ZLXWindowLayout l = daxo::layoutWindow(content.width(), content.height(), full, m_rightViewMode,
                                                 m_tripSliderShown ? kTripSliderHeight : 0);
    m_window->menuBar()->setVisible(!full);
    m_ui->headBox->setVisible(!full);
    m_ui->bodyRightBox->setVisible(!full);
    m_ui->gsensorBox->setVisible(!full);
    m_ui->mediaControlBox->setVisible(!full);
    m_ui->mediaControlBoxForFullScreen->setVisible(full);
    place(m_ui->headBox, l.headBox);
    place(m_ui->bodyBox, l.bodyBox);
    place(m_ui->bodyLeftBox, l.bodyLeftBox);
    place(m_ui->bodyRightBox, l.bodyRightBox);
    place(m_ui->videoBox, l.videoBox);
    place(m_ui->gsensorBox, l.gsensorBox);
    place(m_ui->mediaControlBox, l.mediaControlBox);
    place(m_ui->mediaControlBoxForFullScreen, l.mediaControlBoxForFullScreen);
    place(m_ui->sideButtonBox, l.sideButtonBox);
    place(m_ui->mediaListBox, l.mediaListBox);
    place(m_ui->subVideoBox, l.subVideoBox);
    layoutBodyBox();
}

void ZLXAppDelegate::layoutBodyBox() {
    // The loading indicator stays centred over the head strip, the texts at its two ends.
    PMProgressIndicator* indicator = m_ui->progressIndicator;
    indicator->move((m_ui->headBox->width() - indicator->width()) / 2, indicator->y());
    const int half = m_ui->headBox->width() / 2 - 12;
    m_headFolderLabel->setGeometry(12, 0, half, m_ui->headBox->height());
    m_headPlayingLabel->setGeometry(m_ui->headBox->width() - 12 - half, 0, half, m_ui->headBox->height());
    layoutMapContainer();
}

void ZLXAppDelegate::layoutMapContainer() {
    if (m_window->isFullScreen())
        return;
    const QSize content = m_window->centralWidget()->size();
    const ZLXWindowLayout l = daxo::layoutWindow(content.width(), content.height(), false, m_rightViewMode);
    if (m_rightViewMode == 0) {
        place(m_mediaListScrollView, l.mediaListScrollView);
    } else if (m_rightViewMode == 2) {
        if (m_tripListView)
            place(m_tripListView, l.tripListView);
    } else {
        place(m_ui->mapContainerView, l.mapContainerView);
        place(m_ui->mapContainerTopView, l.mapContainerTopView);
        place(m_ui->mapContainerBottomView, l.mapContainerBottomView);
    }
}

QRect ZLXAppDelegate::boxFrame(const QString& name) const {
    const QWidget* w = m_window->findChild<QWidget*>(name);
    return w && w->isVisible() ? w->geometry() : QRect();
}

// The size steps work whenever a recording is loaded, playing or paused.
void ZLXAppDelegate::sizeUp() {
    if (m_playback->player1()->hasMedia())
        setVideoScaleIndex(1);
}

void ZLXAppDelegate::sizeDown() {
    if (m_playback->player1()->hasMedia())
        setVideoScaleIndex(-1);
}

void ZLXAppDelegate::setVideoScaleIndex(int step) {
    const QSize min = minWindowSize();
    QSize size = m_window->size() + QSize(int(step * 0.2 * min.width()), int(step * 0.2 * min.height()));
    const QScreen* screen = m_window->screen();
    if (step > 0) {
        if (m_window->isFullScreen())
            return;
        if (screen && (size.width() > screen->geometry().width() || size.height() > screen->geometry().height() - 100)) {
            m_window->enterFullscreen();
            return;
        }
    } else if (m_window->isFullScreen()) {
        m_window->leaveFullscreen();
        return;
    }
    if (size.width() < min.width() || size.height() < min.height())
        size = min;
    m_window->resize(size);
}

void ZLXAppDelegate::toggleFullScreen() {
    if (m_window->isFullScreen())
        m_window->leaveFullscreen();
    else
        m_window->enterFullscreen();
}

void ZLXAppDelegate::animateExchange() {
    resetZoom(); // the large picture changes channel
    // Both pictures grow into their places: the large one from the right edge, the small one
    // from the bottom.
    auto* group = new QParallelAnimationGroup(this);
    const QRect large = m_video1View->parentWidget()->rect(), small = m_video2View->parentWidget()->rect();
    for (auto [view, from, to] : {std::tuple{static_cast<QWidget*>(m_video1View), QRect(large.width(), 0, 0, 0), large},
                                  std::tuple{static_cast<QWidget*>(m_video2View), QRect(0, small.height(), 0, 0), small}}) {
        auto* animation = new QPropertyAnimation(view, "geometry", group);
        animation->setDuration(1500);
        animation->setEasingCurve(QEasingCurve::OutCubic);
        animation->setStartValue(from);
        animation->setEndValue(to);
        group->addAnimation(animation);
    }
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace daxo
