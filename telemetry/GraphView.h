// SPDX-License-Identifier: GPL-3.0-or-later
// The G-sensor strip chart: the three axes of the whole recording and a bar at the play
// position.
#pragma once

#include "ZLXBlackBoxData.h"

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

    const std::vector<ZLXGSensor>& values() const { return m_values; }
    double timePosition() const { return m_timePosition; }
    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor& color) { m_backgroundColor = color; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<ZLXGSensor> m_values;
    double m_timePosition = 0;
    QColor m_backgroundColor;
};

} // namespace daxo
