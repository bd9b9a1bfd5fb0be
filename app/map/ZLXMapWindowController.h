// SPDX-License-Identifier: GPL-3.0-or-later
// A window of its own with the map page, opened beside another window.
#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class ZLXMapWindowController;
}

namespace daxo {

class ZLXMapWebView;

class ZLXMapWindowController : public QWidget {
    Q_OBJECT
public:
    explicit ZLXMapWindowController(QWidget* parent = nullptr);
    ~ZLXMapWindowController() override;

    // Logs the frame and loads the map page.
    void windowDidLoad();
    // Left edge on the right edge of `frame`, top edges level; the size stays.
    void moveWindowRightBy(const QRect& frame);
    // A position in decimal degrees.
    void updateMapLat(double latitude, double longitude);
    ZLXMapWebView* mapWebView() const;

private:
    std::unique_ptr<Ui::ZLXMapWindowController> m_ui;
};

} // namespace daxo
