// SPDX-License-Identifier: GPL-3.0-or-later
// The clock-setup window: a date, a time (as text and on a clock face, kept in step), a
// "today" box that sets the date and unchecks itself, and Save, which writes timeset.cfg to
// the card that carries one, or where the user chooses.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QDialog>
#include <QTimer>
#include <QTime>
#include <functional>
#include <memory>
#include <optional>

class QCalendarWidget;
class QCheckBox;
class QLabel;
class QPushButton;
class QTimeEdit;

namespace daxo {

class ZLXTrackCache;
struct ZLXClockCheck;

// The time on a clock face; a click or drag on the face sets the minutes (or, near the
// centre, the hour).
class ZLXClockFace : public QWidget {
    Q_OBJECT
public:
    explicit ZLXClockFace(QWidget* parent = nullptr);
    QTime time() const { return m_time; }
    void setTime(const QTime& time);
    QSize sizeHint() const override { return {140, 140}; }

signals:
    void timeChosen(const QTime& time);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void pick(QPointF at);
    QTime m_time;
};

class ZLXTimeSetupController : public QDialog {
    Q_OBJECT
public:
    explicit ZLXTimeSetupController(QWidget* parent = nullptr);

    void windowDidLoad();
    void onInitDIalog();
    void loadSettingFile();
    std::optional<QString> settingFilePath() const { return m_SettingFilePath; }

    void daySelectedFromPicker();
    void timeSelectedFromPicker();
    void timeSelectedFromClickTimePicker();
    void nowDayChecked();
    void onSaveConfigFile();

    // Where a file goes when neither a card nor the open folder carries one; tests put a
    // chooser of their own here. It starts in the open folder.
    using SaveLocationChooser = std::function<QString(QWidget* parent, const QString& folder)>;
    void setSaveLocationChooser(SaveLocationChooser chooser) { m_chooser = std::move(chooser); }
    // The folder the viewer has open: its timeset.cfg is the one written when no card is found.
    void setMediaFolder(const QString& folder) { m_mediaFolder = folder; }

    // The clock runs, once a second, until the user changes the time (or the date); tests
    // give it a time of their own and step it.
    using Now = std::function<QDateTime()>;
    void setNow(Now now) { m_now = std::move(now); }
    void tick();

    // Checks the camera's clock against the GPS time in the folder's recordings (in the
    // background, the tracks through `cache`) and shows what it found, with a button that
    // sets the clock to the time of the card's own zone.
    void checkClockOf(const QString& folder, std::shared_ptr<ZLXTrackCache> cache);
    // What a check found; `zoneOffset` is the card's offset from UTC (daylight saving
    // included), when its config.bin names one.
    void showClockCheck(const ZLXClockCheck& check, std::optional<int> zoneOffset);
    // Sets the time shown to the time of the card's zone, and saves it.
    void setClockFromGps();

    QDate selectedDate() const { return m_selectedDate; }
    QTime selectedTime() const { return m_selectedTime; }

signals:
    // The file was written (or not: `path` empty on a failure).
    void configFileWritten(const QString& path);

private:
    void showDate();
    void showTime(const QTime& time);

    Now m_now = [] { return QDateTime::currentDateTime(); };
    QTimer m_ticks;
    bool m_timeFollows = true; // the time shown is the computer's until the user sets one
    bool m_dateFollows = true;
    QString m_mediaFolder;
    std::optional<QString> m_SettingFilePath;
    QDate m_selectedDate;
    QTime m_selectedTime;
    QCalendarWidget* m_datePicker;
    QCheckBox* m_nowDaySettingChk;
    QTimeEdit* m_timePicker;
    ZLXClockFace* m_clockTimePicker;
    QLabel* m_dateField;
    QPushButton* m_saveButton;
    QPushButton* m_cancelButton;
    QLabel* m_gpsCheckLabel;
    QPushButton* m_setFromGpsButton;
    std::optional<int> m_zoneOffset; // of the card whose clock was checked
    SaveLocationChooser m_chooser;
};

} // namespace daxo
