// SPDX-License-Identifier: GPL-3.0-or-later
// A row of labelled segments of which one is selected.
#pragma once

#include <QButtonGroup>
#include <QStringList>
#include <QWidget>

class QHBoxLayout;

namespace daxo {

class TKSegmentedControl : public QWidget {
    Q_OBJECT
public:
    explicit TKSegmentedControl(QWidget* parent = nullptr);

    void setSegmentLabels(const QStringList& labels);
    int segmentCount() const;
    QString labelForSegment(int index) const;
    int selectedSegment() const;
    void setSelectedSegment(int index); // -1 selects none; does not emit segmentClicked

signals:
    // The user chose a segment.
    void segmentClicked(int index);

private:
    QHBoxLayout* m_layout;
    QButtonGroup m_group;
};

} // namespace daxo
