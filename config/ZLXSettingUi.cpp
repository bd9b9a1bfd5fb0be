// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ZLXSettingUi.h"

#include "widgets/TKSegmentedControl.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QValidator>

namespace daxo {

namespace {

// Whatever is typed or pasted is filtered before the field takes it: the field never holds a
// character a plate may not, not even for a moment.
class ZLXPlateValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        const QString before = QString::fromStdString(filterPlateText(input.left(pos).toStdString()));
        input = QString::fromStdString(filterPlateText(input.toStdString()));
        pos = std::min(int(before.size()), int(input.size()));
        return Acceptable;
    }
};

} // namespace

ZLXCarNumberTextField::ZLXCarNumberTextField(QWidget* parent) : QLineEdit(parent) {
    setValidator(new ZLXPlateValidator(this));
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
