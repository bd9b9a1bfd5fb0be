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
        if (ok && m_pending) // a place asked for while the page was loading
            updateMapLat(m_pending->first, m_pending->second);
        m_pending.reset();
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
    if (!m_loaded) {
        m_pending.reset(); // whatever was asked later (a cleared position) replaces a kept place
        return;
    }
    page()->runJavaScript(QString::fromStdString(script));
}

void ZLXMapWebView::updateMapLat(double latitude, double longitude) {
    if (!m_loaded) {
        m_pending = std::make_pair(latitude, longitude);
        return;
    }
    runScript(mapSetLatLagScript(longitude, latitude));
}

} // namespace daxo
