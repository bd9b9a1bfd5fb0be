// SPDX-License-Identifier: GPL-3.0-or-later
// The G-sensor strip chart: the three axes of the whole recording and a bar at the play
// position.
#pragma once

#include "telemetry/ZLXBlackBoxData.h"

#include <QColor>
#include <QWidget>
#include <vector>

namespace daxo {

class GraphView : public QWidget {
    Q_OBJECT
public:
    explicit GraphView(QWidget* parent = nullptr);

    void setGraphData(const std::vector<ZLXGSensor>& values);
    void updateTimePosition(double position);
    // Impacts to mark, as positions from 0 to 1 of the recording.
    void setImpactMarks(std::vector<double> positions);
    const std::vector<double>& impactMarks() const { return m_impactMarks; }

    const std::vector<ZLXGSensor>& values() const { return m_values; }
    double timePosition() const { return m_timePosition; }
    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor& color) { m_backgroundColor = color; }
    // The grid's grey (0.8) and the darker grey behind it.
    static QColor gridGrey() { return QColor::fromRgbF(0.8f, 0.8f, 0.8f); }
    static QColor backgroundGrey() { return QColor(88, 90, 94); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<ZLXGSensor> m_values;
    double m_timePosition = 0;
    std::vector<double> m_impactMarks;
    QColor m_backgroundColor;
};

} // namespace daxo
