// SPDX-License-Identifier: GPL-3.0-or-later
// A web view holding the map page "map2_eng.htm".
#pragma once

#include <QWebEngineView>
#include <optional>
#include <string>
#include <utility>

namespace daxo {

class ZLXMapWebView : public QWebEngineView {
    Q_OBJECT
public:
    explicit ZLXMapWebView(QWidget* parent = nullptr);

    // The page's address among the application's resources.
    static QUrl mapPageUrl();
    void loadMapPage();
    // Loads the page the first time the map is needed; later calls do nothing. Until then no
    // web page (and none of the web engine's memory) exists.
    void start();
    bool isStarted() const { return m_started; }
    bool isPageLoaded() const { return m_loaded; }

    // Runs a script text in the page; before the page has loaded this does nothing (and drops
    // a place kept by updateMapLat).
    void runScript(const std::string& script);
    // Places the car; asked before the page has loaded, it does so once the page is there.
    void updateMapLat(double latitude, double longitude);
    // Draws a route with its marks (replacing the one shown); asked before the page has
    // loaded, it does so once the page is there.
    void showRoute(const std::string& script);

    // The web profile of every map page: its tiles stay on disk, so an area seen once shows
    // again without a network.
    static class QWebEngineProfile* mapProfile();

signals:
    void mapPageLoaded(bool ok);
    // The user clicked the route or an impact mark at this time of the route.
    void routeClicked(double seconds);
    // The user marked an area on the map (Shift and a drag), in decimal degrees.
    void areaChosen(double south, double west, double north, double east);
    // Shift and a click marked a circle around a place (its radius in metres).
    void placeChosen(double latitude, double longitude, double metres);

private:
    void makePage();

    bool m_loaded = false;
    bool m_started = false;
    std::optional<std::pair<double, double>> m_pending;
    std::string m_route; // the route script, run again when the page loads
};

} // namespace daxo
