// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/map/ZLXMapWindowController.h"

#include "library/ZLXLog.h"
#include "app/map/ZLXMapWebView.h"
#include "presentation/ZLXWindowLayout.h"
#include "ui_ZLXMapWindowController.h"

#include <QGuiApplication>
#include <QScreen>

namespace daxo {

ZLXMapWindowController::ZLXMapWindowController(QWidget* parent)
    : QWidget(parent, Qt::Window), m_ui(std::make_unique<Ui::ZLXMapWindowController>()) {
    m_ui->setupUi(this);
}

ZLXMapWindowController::~ZLXMapWindowController() = default;

void ZLXMapWindowController::windowDidLoad() {
    const QRect f = frameGeometry();
    ZLXLog("{{%d, %d}, {%d, %d}}", f.x(), f.y(), f.width(), f.height());
    m_ui->mapWebView->loadMapPage();
}

void ZLXMapWindowController::moveWindowRightBy(const QRect& frame) {
    // beside the window it belongs to, and whole on the screen it opens on
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect visible = s ? s->availableGeometry() : QRect(frame.topLeft(), frameGeometry().size());
    const QSize outer = frameGeometry().size();
    const ZLXRect at = placeBeside({frame.x(), frame.y(), frame.width(), frame.height()}, outer.width(), outer.height(),
                                   {visible.x(), visible.y(), visible.width(), visible.height()});
    move(at.x, at.y);
}

void ZLXMapWindowController::updateMapLat(double latitude, double longitude) {
    m_ui->mapWebView->updateMapLat(latitude, longitude);
}

ZLXMapWebView* ZLXMapWindowController::mapWebView() const {
    return m_ui->mapWebView;
}

} // namespace daxo
