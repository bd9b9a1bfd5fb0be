// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/pages/ZLXSettingPage.h"

#include "widgets/TKSegmentedControl.h"
#include "config/pages/VMMultiHandleSliderWidget.h"
#include "widgets/ZLXAlert.h"
#include "config/ZLXSettingUi.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>

namespace daxo {

QString labelText(const ZLXLabel& label) {
    const QByteArray text = QByteArray::fromStdString(label.text);
    switch (label.kind) {
    case ZLXLabel::Kind::Key:
        return qtTrId(text.constData());
    case ZLXLabel::Kind::Plain:
        return QString::fromStdString(label.text);
    case ZLXLabel::Kind::Filled:
        return QString::fromStdString(label.text).replace(QStringLiteral("%@"), qtTrId(label.fill.c_str()));
    case ZLXLabel::Kind::Numbered:
        return qtTrId(text.constData(), label.number);
    }
    return {};
}

namespace {

QStringList labelTexts(const std::vector<ZLXLabel>& labels) {
    QStringList texts;
    for (const ZLXLabel& l : labels)
        texts << labelText(l);
    return texts;
}

bool isThresholdField(const std::string& name) {
    return name.find("Threshold") != std::string::npos;
}

} // namespace

ZLXSettingPage::ZLXSettingPage(std::unique_ptr<ZLXPageModel> model, QWidget* parent)
    : QWidget(parent), m_model(std::move(model)) {
    build();
    showModel();
}

ZLXSettingPage::~ZLXSettingPage() {
    // The widgets go before the model some of them look into (the slider's knobs).
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

void ZLXSettingPage::addFooter(QWidget* footer) {
    layout()->addWidget(footer);
}

void ZLXSettingPage::build() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll);
    auto* content = new QWidget(scroll);
    auto* form = new QFormLayout(content);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    scroll->setWidget(content);

    // One row a title. A check box or a field without a title of its own joins the row of
    // the check box or field before it; anything else starts a row of its own.
    QWidget* row = nullptr;
    QBoxLayout* rowLine = nullptr;
    QGridLayout* rowGrid = nullptr;
    int inGrid = 0;
    auto small = [](ZLXControl::Type t) { return t == ZLXControl::Type::Check || t == ZLXControl::Type::Text; };
    std::optional<ZLXControl::Type> last;
    for (const ZLXControl& c : m_model->controls()) {
        const QString name = QString::fromStdString(c.name);
        const bool joins = c.title.empty() && row && last && small(*last) && small(c.type);
        last = c.type;
        if (!joins) {
            row = new QWidget(content);
            rowLine = nullptr;
            rowGrid = nullptr;
            inGrid = 0;
            if (c.columns > 0 && c.type == ZLXControl::Type::Check) {
                rowGrid = new QGridLayout(row);
                rowGrid->setContentsMargins(0, 0, 0, 0);
            } else {
                rowLine = new QHBoxLayout(row);
                rowLine->setContentsMargins(0, 0, 0, 0);
            }
            form->addRow(c.title.empty() ? QString() : qtTrId(c.title.c_str()), row);
        }
        QWidget* widget = nullptr;
        switch (c.type) {
        case ZLXControl::Type::Segments: {
            auto* segments = new TKSegmentedControl(row);
            connect(segments, &TKSegmentedControl::segmentClicked, this, [this, c](int index) {
                m_model->state(c.name).selected = index;
                userChanged(c.name);
            });
            widget = segments;
            break;
        }
        case ZLXControl::Type::List: {
            auto* list = new QComboBox(row);
            connect(list, &QComboBox::activated, this, [this, c](int index) {
                m_model->state(c.name).selected = index;
                userChanged(c.name);
            });
            widget = list;
            break;
        }
        case ZLXControl::Type::Check: {
            QAbstractButton* box = c.name.ends_with("Radio") ? static_cast<QAbstractButton*>(new QRadioButton(row))
                                                             : new QCheckBox(row);
            box->setText(labelText(c.labels.front()));
            box->setAutoExclusive(false);
            connect(box, &QAbstractButton::clicked, this, [this, c](bool on) {
                m_model->state(c.name).checked = on;
                userChanged(c.name);
            });
            widget = box;
            break;
        }
        case ZLXControl::Type::Text: {
            QLineEdit* edit = c.name == "carNumberField" ? new ZLXCarNumberTextField(row) : new QLineEdit(row);
            if (isThresholdField(c.name)) {
                // "0.00": one whole digit at most, two decimals at most
                edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d?(\\.\\d{0,2})?")), edit));
                edit->setMaximumWidth(64);
            }
            if (!c.labels.empty()) { // a caption before the field
                rowLine->addWidget(new QLabel(labelText(c.labels.front()), row));
                edit->setMaximumWidth(72);
            }
            // The model holds what is typed as it is typed; the end of an edit is a change.
            connect(edit, &QLineEdit::textChanged, this, [this, c](const QString& text) {
                if (!m_showing)
                    m_model->state(c.name).text = text.toStdString();
            });
            connect(edit, &QLineEdit::editingFinished, this, [this, c] { userChanged(c.name); });
            widget = edit;
            break;
        }
        case ZLXControl::Type::Stepper: {
            // A read-only text with a down and an up button, each click one step at once.
            auto* edit = new QLineEdit(row);
            edit->setReadOnly(true);
            edit->setMaximumWidth(72);
            rowLine->addWidget(edit);
            for (const auto& [text, steps] : {std::pair{"−", -1}, std::pair{"+", +1}}) {
                auto* button = new QToolButton(row);
                button->setText(QString::fromUtf8(text));
                button->setObjectName(name + (steps < 0 ? QStringLiteral("Down") : QStringLiteral("Up")));
                button->setAutoRepeat(true);
                connect(button, &QToolButton::clicked, this, [this, c, steps = steps] {
                    m_model->step(c.name, steps);
                    showModel();
                });
                rowLine->addWidget(button);
            }
            rowLine->addStretch(1);
            widget = edit;
            break;
        }
        case ZLXControl::Type::Note: {
            auto* note = new QLabel(labelText(c.labels.front()), row);
            note->setWordWrap(true);
            widget = note;
            break;
        }
        case ZLXControl::Type::Range: {
            auto* slider = new VMMultiHandleSliderWidget(m_model->rangeSlider(), row);
            connect(slider, &VMMultiHandleSliderWidget::moved, this, [this, c] { userChanged(c.name); });
            widget = slider;
            break;
        }
        case ZLXControl::Type::Grid: {
            auto* grid = new QWidget(row);
            auto* cells = new QGridLayout(grid);
            cells->setContentsMargins(0, 0, 0, 0);
            auto* group = new QButtonGroup(grid);
            const int columns = std::max(1, c.columns);
            for (int i = 0; i < int(c.labels.size()); ++i) {
                auto* cell = new QRadioButton(labelText(c.labels[size_t(i)]), grid);
                cell->setObjectName(name + QString::number(i));
                group->addButton(cell, i);
                cells->addWidget(cell, i / columns, i % columns); // row by row
            }
            connect(group, &QButtonGroup::idClicked, this, [this, c](int index) {
                m_model->state(c.name).selected = index;
                userChanged(c.name);
            });
            m_grids.insert(name, group);
            widget = grid;
            break;
        }
        }
        widget->setObjectName(name);
        m_widgets.insert(name, widget);
        if (rowGrid) {
            rowGrid->addWidget(widget, inGrid / c.columns, inGrid % c.columns);
            ++inGrid;
        } else {
            if (isThresholdField(c.name)) // each axis field with its letter
                rowLine->addWidget(new QLabel(QString(QChar::fromLatin1(c.name[c.name.find("Threshold") + 9])), row));
            if (c.type != ZLXControl::Type::Stepper) // already in its line, with its buttons
                rowLine->addWidget(widget);
        }
    }
    // Short controls keep their size at the left of their row.
    for (QBoxLayout* line : content->findChildren<QBoxLayout*>()) {
        bool onlySmall = true;
        for (int i = 0; i < line->count(); ++i) {
            QWidget* w = line->itemAt(i)->widget();
            onlySmall = onlySmall && w && (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w));
        }
        if (onlySmall && line->count() > 0 && line != outer)
            line->addStretch(1);
    }
}

void ZLXSettingPage::showModel() {
    m_showing = true;
    for (const ZLXControl& c : m_model->controls()) {
        const ZLXControlState& s = m_model->state(c.name);
        QWidget* widget = m_widgets.value(QString::fromStdString(c.name));
        if (!widget)
            continue;
        if (c.type == ZLXControl::Type::Note)
            widget->setVisible(s.enabled); // a note is shown or hidden, never greyed
        else
            widget->setEnabled(s.enabled);
        switch (c.type) {
        case ZLXControl::Type::Segments: {
            auto* segments = static_cast<TKSegmentedControl*>(widget);
            const QStringList texts = labelTexts(s.labels);
            bool same = segments->segmentCount() == texts.size();
            for (int i = 0; same && i < texts.size(); ++i)
                same = segments->labelForSegment(i) == texts[i];
            if (!same)
                setSegmentLabels(segments, texts);
            segments->setSelectedSegment(s.selected);
            break;
        }
        case ZLXControl::Type::List: {
            auto* list = static_cast<QComboBox*>(widget);
            const QStringList texts = labelTexts(s.labels);
            if (list->count() != texts.size())
                setComboItems(list, texts);
            // a stored value no entry stands for is shown as it is, and chosen by nothing
            list->setPlaceholderText(QString::fromStdString(s.text));
            list->setCurrentIndex(s.selected);
            break;
        }
        case ZLXControl::Type::Check:
            static_cast<QAbstractButton*>(widget)->setChecked(s.checked);
            break;
        case ZLXControl::Type::Note:
            break;
        case ZLXControl::Type::Range:
            static_cast<VMMultiHandleSliderWidget*>(widget)->placeKnobs();
            break;
        case ZLXControl::Type::Stepper:
        case ZLXControl::Type::Text: {
            auto* edit = static_cast<QLineEdit*>(widget);
            const QString text = QString::fromStdString(s.text);
            if (edit->text() != text)
                edit->setText(text);
            break;
        }
        case ZLXControl::Type::Grid: {
            QButtonGroup* group = m_grids.value(QString::fromStdString(c.name));
            group->setExclusive(false);
            for (QAbstractButton* cell : group->buttons())
                cell->setChecked(group->id(cell) == s.selected);
            group->setExclusive(true);
            break;
        }
        }
    }
    m_showing = false;
}

void ZLXSettingPage::userChanged(const std::string& name) {
    if (m_showing)
        return;
    m_model->controlChanged(name);
    showModel();
    showNotices();
}

void ZLXSettingPage::showNotices() {
    for (const std::string& key : m_model->takeNotices())
        showAlert(window(), QStringLiteral("Warning"), qtTrId(key.c_str()));
}

void ZLXSettingPage::setFileData(_FILEDATA* fileData) {
    m_model->setFileData(fileData);
    showModel();
}

std::optional<QString> ZLXSettingPage::validateUserInput() {
    const auto message = m_model->validateUserInput();
    if (!message)
        return std::nullopt;
    // The faulty field gets the keyboard focus once the alert is up.
    if (QWidget* field = m_widgets.value(QString::fromStdString(m_model->focusRequest())))
        QTimer::singleShot(0, field, [field] { field->setFocus(Qt::OtherFocusReason); });
    return messageText(*message);
}

bool ZLXSettingPage::populate() {
    const bool written = m_model->populate();
    showModel();
    showNotices();
    return written;
}

} // namespace daxo
