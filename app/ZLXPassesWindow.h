// SPDX-License-Identifier: GPL-3.0-or-later
// The passes of the car through an area of the map, across the library: the area (a box, or a
// circle with its radius), the filters (dates, event recordings, impacts, speed), and the list
// newest first; a double-click plays a pass. The search itself is the caller's: the window
// asks for one whenever the area or a filter changes, and shows what it is given.
#pragma once

#include "telemetry/ZLXPlaceIndex.h"

#include <QDialog>
#include <vector>

class QCheckBox;
class QDateEdit;
class QLabel;
class QSpinBox;
class QTableWidget;

namespace daxo {

class ZLXPassesWindow : public QDialog {
    Q_OBJECT
public:
    explicit ZLXPassesWindow(QWidget* parent = nullptr);

    // The area searched; with a circle, its radius can be changed in the window.
    void setArea(const ZLXBox& box, std::optional<ZLXCircle> circle = std::nullopt);
    const ZLXBox& box() const { return m_box; }
    // What the controls ask for (the circle's radius among it).
    ZLXPassFilter filter() const;
    void showPasses(std::vector<ZLXPass> passes);
    const std::vector<ZLXPass>& passes() const { return m_passes; }

    QTableWidget* table() const { return m_table; }
    QCheckBox* eventsBox() const { return m_events; }
    QCheckBox* impactsBox() const { return m_impacts; }
    QSpinBox* speedBox() const { return m_speed; }
    QSpinBox* radiusBox() const { return m_radius; }
    QCheckBox* fromBox() const { return m_fromOn; }
    QDateEdit* fromDate() const { return m_from; }

signals:
    void searchRequested(const daxo::ZLXBox& box, const daxo::ZLXPassFilter& filter);
    void passChosen(const daxo::ZLXPass& pass);

private:
    void requestSearch();

    ZLXBox m_box;
    std::optional<ZLXCircle> m_circle;
    std::vector<ZLXPass> m_passes;
    QLabel* m_said = nullptr;
    QTableWidget* m_table = nullptr;
    QCheckBox *m_fromOn = nullptr, *m_toOn = nullptr, *m_events = nullptr, *m_impacts = nullptr;
    QDateEdit *m_from = nullptr, *m_to = nullptr;
    QSpinBox *m_speed = nullptr, *m_radius = nullptr;
    QLabel* m_radiusLabel = nullptr;
};

} // namespace daxo
