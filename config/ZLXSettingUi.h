// SPDX-License-Identifier: GPL-3.0-or-later
// What the settings pages share: the plate field and the choice-list helpers.
#pragma once

#include "config/ZLXValidator.h"

#include <QLineEdit>
#include <QStringList>

class QButtonGroup;
class QComboBox;

namespace daxo {

class TKSegmentedControl;

// A one-line field for the vehicle plate: what the camera cannot show is dropped when
// editing ends.
class ZLXCarNumberTextField : public QLineEdit {
    Q_OBJECT
public:
    explicit ZLXCarNumberTextField(QWidget* parent = nullptr);
};

void setSegmentLabels(TKSegmentedControl* control, const QStringList& labels);
void setComboItems(QComboBox* combo, const QStringList& items);
// Cell i of the group (in the order of its ids) gets title i.
void setCellTitles(QButtonGroup* cells, const QStringList& titles);

// The localised text of a validator's message.
QString messageText(const ZLXMessage& message);

} // namespace daxo
