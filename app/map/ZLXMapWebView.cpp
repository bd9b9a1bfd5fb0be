// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/map/ZLXMapWebView.h"

#include "presentation/ZLXMapScript.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>

namespace daxo {

namespace {

// What the page's scripts may call: the one object "host".
class MapHost : public QObject {
    Q_OBJECT
public:
    explicit MapHost(ZLXMapWebView* view) : QObject(view), m_view(view) {}
    Q_INVOKABLE void routeClicked(double seconds) { emit m_view->routeClicked(seconds); }
    Q_INVOKABLE void areaChosen(double south, double west, double north, double east) {
        emit m_view->areaChosen(south, west, north, east);
    }
    Q_INVOKABLE void placeChosen(double latitude, double longitude, double metres) {
        emit m_view->placeChosen(latitude, longitude, metres);
    }

private:
    ZLXMapWebView* m_view;
};

} // namespace

QWebEngineProfile* ZLXMapWebView::mapProfile() {
    static QWebEngineProfile* profile = [] {
        auto* p = new QWebEngineProfile(QStringLiteral("map"), qApp);
        const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/map");
        QDir().mkpath(cache);
        p->setCachePath(cache);
        p->setPersistentStoragePath(
            QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/map"));
        p->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
        p->setHttpCacheMaximumSize(256 << 20);
        return p;
    }();
    return profile;
}

ZLXMapWebView::ZLXMapWebView(QWidget* parent) : QWebEngineView(parent) {
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(this, &QWebEngineView::loadStarted, this, [this] { m_loaded = false; });
    connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
        m_loaded = ok;
        if (ok && !m_route.empty())
            page()->runJavaScript(QString::fromStdString(m_route));
        if (ok && m_pending) // a place asked for while the page was loading
            updateMapLat(m_pending->first, m_pending->second);
        m_pending.reset();
        emit mapPageLoaded(ok);
    });
}

QUrl ZLXMapWebView::mapPageUrl() {
    return QUrl(QStringLiteral("qrc:/map2_eng.htm"));
}

void ZLXMapWebView::makePage() {
    if (m_started)
        return;
    m_started = true;
    setPage(new QWebEnginePage(mapProfile(), this));
    auto* channel = new QWebChannel(this);
    channel->registerObject(QStringLiteral("host"), new MapHost(this));
    page()->setWebChannel(channel);
}

void ZLXMapWebView::loadMapPage() {
    makePage();
    load(mapPageUrl());
}

void ZLXMapWebView::start() {
    if (!m_started)
        loadMapPage();
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

void ZLXMapWebView::showRoute(const std::string& script) {
    m_route = script;
    if (m_loaded)
        page()->runJavaScript(QString::fromStdString(script));
}

} // namespace daxo

#include "ZLXMapWebView.moc"
