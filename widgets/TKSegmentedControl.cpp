// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/TKSegmentedControl.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QToolButton>

namespace daxo {

TKSegmentedControl::TKSegmentedControl(QWidget* parent)
    : QWidget(parent), m_layout(new QHBoxLayout(this)) {
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_group.setExclusive(true);
    // the chosen segment stands out in the highlight colour, whatever the palette
    setStyleSheet(QStringLiteral(
        "QToolButton { background: palette(button); border: 1px solid palette(mid); padding: 3px 6px; }"
        "QToolButton:hover { background: palette(light); }"
        "QToolButton:checked { background: palette(highlight); color: palette(highlighted-text);"
        " border-color: palette(highlight); }"));
    connect(&m_group, &QButtonGroup::idClicked, this, &TKSegmentedControl::segmentClicked);
}

void TKSegmentedControl::setSegmentLabels(const QStringList& labels) {
    for (QAbstractButton* button : m_group.buttons()) {
        m_group.removeButton(button);
        delete button;
    }
    for (int i = 0; i < labels.size(); ++i) {
        auto* button = new QToolButton(this);
        button->setText(labels[i]);
        button->setCheckable(true);
        button->setAutoRaise(false);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setObjectName(QStringLiteral("segment%1").arg(i));
        m_group.addButton(button, i);
        m_layout->addWidget(button);
    }
}

int TKSegmentedControl::segmentCount() const {
    return int(m_group.buttons().size());
}

QString TKSegmentedControl::labelForSegment(int index) const {
    const QAbstractButton* b = m_group.button(index);
    return b ? b->text() : QString();
}

int TKSegmentedControl::selectedSegment() const {
    return m_group.checkedId();
}

void TKSegmentedControl::setSelectedSegment(int index) {
    if (QAbstractButton* b = m_group.button(index)) {
        b->setChecked(true);
        return;
    }
    // No segment (-1, or a value no segment stands for): none is shown selected.
    m_group.setExclusive(false);
    for (QAbstractButton* button : m_group.buttons())
        button->setChecked(false);
    m_group.setExclusive(true);
}

} // namespace daxo
