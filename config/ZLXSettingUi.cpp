// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ZLXSettingUi.h"

#include "widgets/TKSegmentedControl.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>

namespace daxo {

ZLXCarNumberTextField::ZLXCarNumberTextField(QWidget* parent) : QLineEdit(parent) {
    // Connected first, so whoever listens to the end of editing sees the filtered text.
    connect(this, &QLineEdit::editingFinished, this, [this] {
        const QString filtered = QString::fromStdString(filterPlateText(text().toStdString()));
        if (filtered != text())
            setText(filtered);
    });
}

void setSegmentLabels(TKSegmentedControl* control, const QStringList& labels) {
    control->setSegmentLabels(labels);
}

void setComboItems(QComboBox* combo, const QStringList& items) {
    combo->clear();
    combo->addItems(items);
}

void setCellTitles(QButtonGroup* cells, const QStringList& titles) {
    for (int i = 0; i < titles.size(); ++i) {
        if (QAbstractButton* cell = cells->button(i))
            cell->setText(titles[i]);
    }
}

QString messageText(const ZLXMessage& message) {
    QString text = qtTrId(message.key.c_str());
    for (double argument : message.arguments)
        text = text.arg(argument);
    return text;
}

} // namespace daxo
