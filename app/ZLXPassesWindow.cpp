// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ZLXPassesWindow.h"

#include "telemetry/ZLXTrip.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

namespace daxo {

namespace {

std::optional<int64_t> dayStart(const QDate& day) {
    return civilSeconds(day.year(), day.month(), day.day(), 0, 0, 0);
}

} // namespace

ZLXPassesWindow::ZLXPassesWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("passesWindow"));
    setWindowTitle(qtTrId("passes.title"));
    auto* layout = new QVBoxLayout(this);

    // the filters: each change searches again
    auto* filters = new QGridLayout;
    const QDate today = QDate::currentDate();
    m_fromOn = new QCheckBox(qtTrId("passes.from"), this);
    m_from = new QDateEdit(today.addMonths(-1), this);
    m_toOn = new QCheckBox(qtTrId("passes.to"), this);
    m_to = new QDateEdit(today, this);
    for (QDateEdit* date : {m_from, m_to}) {
        date->setCalendarPopup(true);
        date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        date->setEnabled(false);
    }
    m_events = new QCheckBox(qtTrId("passes.events"), this);
    m_impacts = new QCheckBox(qtTrId("passes.impacts"), this);
    m_speed = new QSpinBox(this);
    m_speed->setRange(0, 300);
    m_speed->setSuffix(QStringLiteral(" km/h"));
    m_speed->setSpecialValueText(qtTrId("passes.any_speed"));
    m_radius = new QSpinBox(this);
    m_radius->setRange(10, 100000);
    m_radius->setSingleStep(50);
    m_radius->setSuffix(QStringLiteral(" m"));
    m_radiusLabel = new QLabel(qtTrId("passes.radius"), this);
    filters->addWidget(m_fromOn, 0, 0);
    filters->addWidget(m_from, 0, 1);
    filters->addWidget(m_toOn, 0, 2);
    filters->addWidget(m_to, 0, 3);
    filters->addWidget(m_events, 1, 0);
    filters->addWidget(m_impacts, 1, 1);
    filters->addWidget(new QLabel(qtTrId("passes.faster"), this), 1, 2);
    filters->addWidget(m_speed, 1, 3);
    filters->addWidget(m_radiusLabel, 2, 2);
    filters->addWidget(m_radius, 2, 3);
    layout->addLayout(filters);

    m_said = new QLabel(this);
    layout->addWidget(m_said);
    m_table = new QTableWidget(0, 5, this);
    m_table->setObjectName(QStringLiteral("passesTable"));
    m_table->setHorizontalHeaderLabels({qtTrId("filelist.date"), qtTrId("filelist.time"), qtTrId("filelist.file"),
                                        qtTrId("passes.speed"), qtTrId("passes.heading")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    layout->addWidget(m_table);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (row >= 0 && size_t(row) < m_passes.size())
            emit passChosen(m_passes[size_t(row)]);
    });

    connect(m_fromOn, &QCheckBox::toggled, m_from, &QWidget::setEnabled);
    connect(m_toOn, &QCheckBox::toggled, m_to, &QWidget::setEnabled);
    for (QCheckBox* box : {m_fromOn, m_toOn, m_events, m_impacts})
        connect(box, &QCheckBox::toggled, this, &ZLXPassesWindow::requestSearch);
    for (QDateEdit* date : {m_from, m_to})
        connect(date, &QDateEdit::dateChanged, this, &ZLXPassesWindow::requestSearch);
    for (QSpinBox* spin : {m_speed, m_radius})
        connect(spin, &QSpinBox::editingFinished, this, &ZLXPassesWindow::requestSearch);
    resize(660, 440);
}

void ZLXPassesWindow::setArea(const ZLXBox& box, std::optional<ZLXCircle> circle) {
    m_box = box;
    m_circle = circle;
    m_radius->setVisible(bool(circle));
    m_radiusLabel->setVisible(bool(circle));
    if (circle) {
        const QSignalBlocker quiet(m_radius);
        m_radius->setValue(int(std::lround(circle->metres)));
    }
}

ZLXPassFilter ZLXPassesWindow::filter() const {
    ZLXPassFilter filter;
    if (m_fromOn->isChecked())
        filter.from = dayStart(m_from->date());
    if (m_toOn->isChecked())
        if (const auto end = dayStart(m_to->date()))
            filter.to = *end + 86400; // the whole last day
    filter.eventsOnly = m_events->isChecked();
    filter.impactsOnly = m_impacts->isChecked();
    filter.minSpeedKmh = m_speed->value();
    if (m_circle) {
        ZLXCircle circle = *m_circle;
        circle.metres = m_radius->value();
        filter.around = circle;
    }
    return filter;
}

void ZLXPassesWindow::requestSearch() {
    const ZLXPassFilter f = filter();
    emit searchRequested(f.around ? boxAround(*f.around) : m_box, f);
}

void ZLXPassesWindow::showPasses(std::vector<ZLXPass> passes) {
    m_passes = std::move(passes);
    m_said->setText(m_passes.empty() ? qtTrId("passes.none") : qtTrId("passes.count").arg(m_passes.size()));
    m_table->setRowCount(int(m_passes.size()));
    static const char* const kCompass[] = {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
    for (int row = 0; row < int(m_passes.size()); ++row) {
        const ZLXPass& pass = m_passes[size_t(row)];
        const QString when = QString::fromStdString(civilDateTimeText(pass.start + int64_t(std::floor(pass.seconds))));
        const int heading = int(std::lround(pass.course)) % 360;
        const QStringList cells{when.left(10), when.mid(11),
                                QFile::decodeName(QByteArray::fromStdString(pass.recording)).section('/', -1) +
                                    (pass.event ? QStringLiteral(" ●") : QString()),
                                QStringLiteral("%1 km/h").arg(std::lround(pass.speedKmh)),
                                QStringLiteral("%1° %2").arg(heading).arg(kCompass[((heading + 22) / 45) % 8])};
        for (int column = 0; column < cells.size(); ++column)
            m_table->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    m_table->resizeColumnsToContents();
}

} // namespace daxo
