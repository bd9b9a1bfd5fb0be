// SPDX-License-Identifier: GPL-3.0-or-later
#include "card/ZLXTimeSetupController.h"

#include "widgets/ZLXAlert.h"
#include "library/ZLXLog.h"
#include "card/ZLXTimeSetupFile.h"
#include "card/ZLXVolumes.h"
#include "telemetry/ZLXClockCheck.h"
#include "telemetry/ZLXTrip.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTimeEdit>
#include <QTimeZone>
#include <QTimer>
#include <QtConcurrent>
#include <QtMath>

namespace daxo {

ZLXClockFace::ZLXClockFace(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("clockTimePicker"));
    setMinimumSize(120, 120);
    setCursor(Qt::PointingHandCursor);
}

void ZLXClockFace::setTime(const QTime& time) {
    m_time = time;
    update();
}

void ZLXClockFace::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height()) - 4;
    p.translate(width() / 2.0, height() / 2.0);
    p.scale(side / 200.0, side / 200.0);
    p.setPen(QPen(palette().windowText().color(), 2));
    p.setBrush(palette().base());
    p.drawEllipse(QPointF(0, 0), 98, 98);
    for (int i = 0; i < 12; ++i) {
        p.save();
        p.rotate(30.0 * i);
        p.drawLine(QPointF(0, -88), QPointF(0, -96));
        p.restore();
    }
    auto hand = [&](double degrees, double length, double thickness) {
        p.save();
        p.rotate(degrees);
        p.setPen(QPen(palette().windowText().color(), thickness, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, 8), QPointF(0, -length));
        p.restore();
    };
    hand(30.0 * (m_time.hour() % 12) + m_time.minute() / 2.0, 50, 6);
    hand(6.0 * m_time.minute() + m_time.second() / 10.0, 78, 4);
    p.setPen(QPen(palette().highlight().color(), 1.5));
    p.save();
    p.rotate(6.0 * m_time.second());
    p.drawLine(QPointF(0, 12), QPointF(0, -84));
    p.restore();
}

void ZLXClockFace::pick(QPointF at) {
    const QPointF centre(width() / 2.0, height() / 2.0);
    const QPointF d = at - centre;
    const double degrees = std::fmod(qRadiansToDegrees(std::atan2(d.x(), -d.y())) + 360.0, 360.0);
    const double radius = std::hypot(d.x(), d.y()) / (std::min(width(), height()) / 2.0);
    QTime time = m_time;
    if (radius < 0.45) { // near the centre: the hour, keeping morning or afternoon
        const int hour = int(std::lround(degrees / 30.0)) % 12 + (m_time.hour() >= 12 ? 12 : 0);
        time = QTime(hour, m_time.minute(), m_time.second());
    } else {
        time = QTime(m_time.hour(), int(std::lround(degrees / 6.0)) % 60, m_time.second());
    }
    if (time != m_time) {
        setTime(time);
        emit timeChosen(time);
    }
}

void ZLXClockFace::mousePressEvent(QMouseEvent* event) {
    pick(event->position());
}

void ZLXClockFace::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        pick(event->position());
}

ZLXTimeSetupController::ZLXTimeSetupController(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ZLXTimeSetupController"));
    setWindowTitle(qtTrId("time.window_title"));
    auto* grid = new QGridLayout(this);
    m_datePicker = new QCalendarWidget(this);
    m_datePicker->setObjectName(QStringLiteral("datePicker"));
    m_datePicker->setDateRange(QDate(kClockFirstYear, 1, 1), QDate(kClockLastYear, 12, 31)); // the camera's clock
    m_nowDaySettingChk = new QCheckBox(this);
    m_nowDaySettingChk->setObjectName(QStringLiteral("nowDaySettingChk"));
    m_dateField = new QLabel(this);
    m_dateField->setObjectName(QStringLiteral("dateField"));
    m_timePicker = new QTimeEdit(this);
    m_timePicker->setObjectName(QStringLiteral("timePicker"));
    m_timePicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_clockTimePicker = new ZLXClockFace(this);
    m_saveButton = new QPushButton(qtTrId("save"), this);
    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    m_saveButton->setDefault(true);
    m_cancelButton = new QPushButton(qtTrId("cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    grid->addWidget(m_datePicker, 0, 0, 3, 1);
    grid->addWidget(m_clockTimePicker, 0, 1, Qt::AlignCenter);
    grid->addWidget(m_timePicker, 1, 1, Qt::AlignCenter);
    grid->addWidget(m_nowDaySettingChk, 2, 1);
    grid->addWidget(m_dateField, 3, 0, 1, 2);
    // the check against GPS, shown once a folder of recordings is checked
    m_gpsCheckLabel = new QLabel(this);
    m_gpsCheckLabel->setObjectName(QStringLiteral("gpsCheckLabel"));
    m_gpsCheckLabel->setWordWrap(true);
    m_gpsCheckLabel->hide();
    m_setFromGpsButton = new QPushButton(qtTrId("time.set_from_gps"), this);
    m_setFromGpsButton->setObjectName(QStringLiteral("setFromGpsButton"));
    m_setFromGpsButton->hide();
    grid->addWidget(m_gpsCheckLabel, 4, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_setFromGpsButton);
    buttons->addStretch(1);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_saveButton);
    grid->addLayout(buttons, 5, 0, 1, 2);

    // every change of the chosen day, by the pointer or the keyboard
    connect(m_datePicker, &QCalendarWidget::selectionChanged, this, &ZLXTimeSetupController::daySelectedFromPicker);
    connect(m_timePicker, &QTimeEdit::timeChanged, this, &ZLXTimeSetupController::timeSelectedFromPicker);
    connect(m_clockTimePicker, &ZLXClockFace::timeChosen, this, &ZLXTimeSetupController::timeSelectedFromClickTimePicker);
    connect(m_nowDaySettingChk, &QCheckBox::clicked, this, &ZLXTimeSetupController::nowDayChecked);
    connect(m_saveButton, &QPushButton::clicked, this, &ZLXTimeSetupController::onSaveConfigFile);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::close);
    connect(m_setFromGpsButton, &QPushButton::clicked, this, &ZLXTimeSetupController::setClockFromGps);
    m_ticks.setInterval(1000);
    connect(&m_ticks, &QTimer::timeout, this, &ZLXTimeSetupController::tick);
    m_chooser = [](QWidget* window, const QString& open) {
        QString folder = open;
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            folder = QDir::homePath();
        QString path = QFileDialog::getSaveFileName(window, qtTrId("time.window_title"),
                                                    QDir(folder).filePath(QStringLiteral("timeset.cfg")),
                                                    QStringLiteral("timeset (*.cfg)"));
        if (!path.isEmpty() && !path.endsWith(QLatin1String(".cfg")))
            path += QStringLiteral(".cfg");
        return path;
    };
}

void ZLXTimeSetupController::windowDidLoad() {
    onInitDIalog();
    if (const QScreen* s = screen()) {
        const QRect visible = s->availableGeometry();
        move(visible.topLeft() + QPoint((visible.width() - width()) / 2, (visible.height() - height()) / 2));
    }
}

void ZLXTimeSetupController::loadSettingFile() {
    m_SettingFilePath.reset();
    if (const auto card = usbVolumeURLContainingFile(QStringLiteral("timeset.cfg")))
        m_SettingFilePath = *card + QStringLiteral("/timeset.cfg");
    else if (!m_mediaFolder.isEmpty() && QFileInfo(m_mediaFolder + QStringLiteral("/timeset.cfg")).isFile())
        m_SettingFilePath = m_mediaFolder + QStringLiteral("/timeset.cfg"); // the card opened as a folder
}

void ZLXTimeSetupController::onInitDIalog() {
    loadSettingFile();
    m_timeFollows = m_dateFollows = true;
    tick();
    m_ticks.start();
}

void ZLXTimeSetupController::tick() {
    const QDateTime now = m_now();
    if (m_dateFollows && m_selectedDate != now.date()) {
        m_selectedDate = now.date();
        const QSignalBlocker quiet(m_datePicker);
        m_datePicker->setSelectedDate(m_selectedDate);
    }
    if (m_timeFollows)
        showTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    showDate();
}

void ZLXTimeSetupController::showTime(const QTime& time) {
    m_selectedTime = time;
    const QSignalBlocker quietText(m_timePicker), quietFace(m_clockTimePicker);
    m_timePicker->setTime(time);
    m_clockTimePicker->setTime(time);
}

void ZLXTimeSetupController::showDate() {
    const QLocale locale;
    m_dateField->setText(locale.toString(m_selectedDate, QLocale::LongFormat));
    m_nowDaySettingChk->setText(QStringLiteral("%1(%2)").arg(qtTrId("today"), locale.toString(QDate::currentDate(), QLocale::ShortFormat)));
}

void ZLXTimeSetupController::daySelectedFromPicker() {
    m_dateFollows = false;
    m_selectedDate = m_datePicker->selectedDate();
    showDate();
}

void ZLXTimeSetupController::timeSelectedFromPicker() {
    m_timeFollows = false; // the user's time from now on
    m_selectedTime = m_timePicker->time();
    m_clockTimePicker->setTime(m_selectedTime);
}

void ZLXTimeSetupController::timeSelectedFromClickTimePicker() {
    m_timeFollows = false;
    m_selectedTime = m_clockTimePicker->time();
    const QSignalBlocker quiet(m_timePicker);
    m_timePicker->setTime(m_selectedTime);
}

void ZLXTimeSetupController::nowDayChecked() {
    // A button in the form of a check box: the date becomes today, the time stays.
    m_selectedDate = m_now().date();
    {
        const QSignalBlocker quiet(m_datePicker);
        m_datePicker->setSelectedDate(m_selectedDate);
    }
    m_dateFollows = true;
    showDate();
    QTimer::singleShot(200, this, [this] { m_nowDaySettingChk->setChecked(false); });
}

void ZLXTimeSetupController::onSaveConfigFile() {
    QString path = m_SettingFilePath.value_or(QString());
    if (path.isEmpty()) {
        path = m_chooser ? m_chooser(this, m_mediaFolder) : QString();
        if (path.isEmpty())
            return; // cancelled: nothing written, nothing said
    }
    const ZLXClockTime t{m_selectedDate.year(), m_selectedDate.month(), m_selectedDate.day(),
                         m_selectedTime.hour(), m_selectedTime.minute(), m_selectedTime.second()};
    if (const auto error = writeTimeSetupFile(QFile::encodeName(path).toStdString(), t)) {
        // A failed write is told, and the window stays for another try.
        ZLXLog("timeset write fail:%s %s", qUtf8Printable(path), error->c_str());
        showAlert(this, QStringLiteral("Warn"), qtTrId("time.write_fail").arg(path));
        emit configFileWritten(QString());
        return;
    }
    emit configFileWritten(path);
    showNoticeSheet(this, windowTitle(), qtTrId("time.filesave"), path, [this] { close(); });
}

void ZLXTimeSetupController::checkClockOf(const QString& folder, std::shared_ptr<ZLXTrackCache> cache) {
    if (folder.isEmpty() || !cache)
        return;
    m_gpsCheckLabel->setText(qtTrId("time.gps_checking"));
    m_gpsCheckLabel->show();
    auto* watcher = new QFutureWatcher<std::pair<ZLXClockCheck, std::optional<int>>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        const auto [check, offset] = watcher->result();
        watcher->deleteLater();
        showClockCheck(check, offset);
    });
    const std::string dir = QFile::encodeName(folder).toStdString();
    watcher->setFuture(QtConcurrent::run([dir, cache] {
        const auto zone = cardClockZone(dir + "/config.bin");
        std::optional<int> offset;
        if (zone && zoneOffsetSeconds(zone->zoneIndex))
            offset = int(cardLocalSeconds(0, *zone));
        return std::make_pair(checkFolderClock(dir, *cache), offset);
    }));
}

void ZLXTimeSetupController::showClockCheck(const ZLXClockCheck& check, std::optional<int> zoneOffset) {
    m_zoneOffset = zoneOffset;
    m_gpsCheckLabel->setText(QString::fromStdString(clockVerdictText(check)));
    m_gpsCheckLabel->show();
    m_setFromGpsButton->setVisible(zoneOffset.has_value() && check.verdict != ZLXClockCheck::Verdict::Right);
}

void ZLXTimeSetupController::setClockFromGps() {
    if (!m_zoneOffset)
        return;
    const QDateTime local = QDateTime::fromSecsSinceEpoch(m_now().toSecsSinceEpoch() + *m_zoneOffset, QTimeZone::utc());
    m_timeFollows = m_dateFollows = false;
    m_selectedDate = local.date();
    {
        const QSignalBlocker quiet(m_datePicker);
        m_datePicker->setSelectedDate(m_selectedDate);
    }
    showTime(local.time());
    showDate();
    onSaveConfigFile();
}

} // namespace daxo
