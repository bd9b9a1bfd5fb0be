// SPDX-License-Identifier: GPL-3.0-or-later
#include "ZLXMapWebView.h"

#include "ZLXMapScript.h"

#include <QWebEnginePage>

namespace daxo {

ZLXMapWebView::ZLXMapWebView(QWidget* parent) : QWebEngineView(parent) {
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(this, &QWebEngineView::loadStarted, this, [this] { m_loaded = false; });
    connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
        m_loaded = ok;
        emit mapPageLoaded(ok);
    });
}

QUrl ZLXMapWebView::mapPageUrl() {
    return QUrl(QStringLiteral("qrc:/map2_eng.htm"));
}

void ZLXMapWebView::loadMapPage() {
    load(mapPageUrl());
}

void ZLXMapWebView::runScript(const std::string& script) {
    if (!m_loaded)
        return;
    page()->runJavaScript(QString::fromStdString(script));
}

void ZLXMapWebView::updateMapLat(double latitude, double longitude) {
    runScript(mapSetLatLagScript(longitude, latitude));
}

} // namespace daxo
