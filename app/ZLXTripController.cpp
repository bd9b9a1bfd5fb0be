// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ZLXTripController.h"
#include "library/ZLXImport.h"
#include "telemetry/ZLXClockCheck.h"

#include "widgets/ZLXAlert.h"
#include "presentation/ZLXMapScript.h"
#include "presentation/ZLXTimeText.h"
#include "app/playback/ZLXPlayback.h"

#include "app/export/ZLXClipExport.h"
#include "app/export/ZLXIncidentReport.h"
#include "app/redaction/ZLXRedactionEditor.h"
#include "app/thumbnails/ZLXThumbnailStrip.h"
#include "app/thumbnails/ZLXThumbnailer.h"

#include <QCheckBox>
#include <QStorageInfo>
#include <QLabel>
#include <QFutureWatcher>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QProgressDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStyleOptionSlider>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace daxo {

namespace {

constexpr int kSliderSteps = 10000;
constexpr double kBeforeImpact = 5.0; // an impact plays from this many seconds before it
const char* const kGapKey = "trips/gapSeconds";

QDateTime civilDateTime(int64_t seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

QString lengthText(double seconds) {
    const qint64 s = qint64(std::llround(seconds));
    return s >= 3600 ? QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'))
                     : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

// "3 Oct 2024  08:15–08:16", or the file's name for an undated trip; with the camera clock's
// error taken off: "3 Oct 2024  08:13–08:14 GPS".
QString tripTitle(const ZLXTrip& trip, std::optional<int64_t> clockError = std::nullopt) {
    const auto start = trip.startTime(), end = trip.endTime();
    if (!start || !end)
        return QString::fromStdString(trip.groups.empty() ? std::string() : trip.groups.front().media->fileName());
    const int64_t shift = clockError.value_or(0);
    const QDateTime from = civilDateTime(*start - shift), to = civilDateTime(*end - shift);
    const QLocale locale;
    return QStringLiteral("%1  %2\u2013%3%4")
        .arg(locale.toString(from.date(), QStringLiteral("d MMM yyyy")), from.toString(QStringLiteral("HH:mm")),
             to.toString(QStringLiteral("HH:mm")), clockError ? QStringLiteral(" GPS") : QString());
}

// "1:20 · 1.0 km · top 80 km/h · 1 impact"
QString tripFigures(const ZLXDrive& drive) {
    const QLocale locale;
    return qtTrId("trip.figures")
        .arg(lengthText(drive.trip.duration()), locale.toString(drive.route.distanceMeters() / 1000, 'f', 1))
        .arg(std::lround(drive.route.maxSpeedKmh()))
        .arg(qtTrId("trip.impacts", int(drive.impacts.size())));
}

enum Role { TripRole = Qt::UserRole + 1, TimeRole };

} // namespace

// ---- the slider

ZLXTripSlider::ZLXTripSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setObjectName(QStringLiteral("tripPositionSlider"));
    setRange(0, kSliderSteps);
    setFixedHeight(16);
    setToolTip(qtTrId("trip.slider"));
    connect(this, &QSlider::sliderReleased, this, [this] { emit seekRequested(double(value()) / kSliderSteps); });
}

void ZLXTripSlider::setMarks(std::vector<double> boundaries, std::vector<double> impacts) {
    m_boundaries = std::move(boundaries);
    m_impacts = std::move(impacts);
    update();
}

void ZLXTripSlider::setClipRange(std::optional<double> in, std::optional<double> out) {
    m_in = in;
    m_out = out;
    update();
}

void ZLXTripSlider::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    // the handle's centre runs from half a handle in to half a handle before the end
    const double left = groove.left() + handle.width() / 2.0, span = groove.width() - handle.width();
    QPainter painter(this);
    painter.setPen(QPen(QColor(255, 255, 255, 150), 1));
    for (const double b : m_boundaries)
        painter.drawLine(QPointF(left + b * span, height() / 2.0 - 5), QPointF(left + b * span, height() / 2.0 + 5));
    // the marked clip: a green band between its two ends
    if (m_in || m_out) {
        const double a = left + m_in.value_or(m_out.value_or(0)) * span, b = left + m_out.value_or(*m_in) * span;
        painter.fillRect(QRectF(QPointF(std::min(a, b), height() - 4.0), QPointF(std::max(a, b) + 2, height())),
                         QColor(80, 200, 120));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(208, 16, 40));
    for (const double i : m_impacts) {
        const double x = left + i * span;
        painter.drawPolygon(QPolygonF({QPointF(x - 4, 0), QPointF(x + 4, 0), QPointF(x, 6)}));
    }
}

void ZLXTripSlider::mousePressEvent(QMouseEvent* event) {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    if (event->button() != Qt::LeftButton || handle.contains(event->position().toPoint())) {
        QSlider::mousePressEvent(event); // the handle is dragged as usual
        return;
    }
    // a click on the groove goes to that place at once
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const double span = std::max(1, groove.width() - handle.width());
    const double fraction = std::clamp((event->position().x() - groove.left() - handle.width() / 2.0) / span, 0.0, 1.0);
    setValue(int(std::lround(fraction * kSliderSteps)));
    emit seekRequested(fraction);
    event->accept();
}

// ---- the controller

namespace {

// The clip dialog: the layout and the captions.
std::optional<ZLXClipOptions> askClipOptions(QWidget* parent, const ZLXDrive& drive,
                                             const std::function<size_t(QWidget*)>& editBoxes, size_t boxes) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("clipDialog"));
    dialog.setWindowTitle(qtTrId("clip.title"));
    auto* form = new QFormLayout(&dialog);
    auto* layout = new QComboBox(&dialog);
    layout->addItem(qtTrId("clip.layout.pip"), int(ZLXClipLayout::PictureInPicture));
    layout->addItem(qtTrId("clip.layout.side"), int(ZLXClipLayout::SideBySide));
    layout->addItem(qtTrId("clip.layout.front"), int(ZLXClipLayout::Front));
    layout->addItem(qtTrId("clip.layout.original"), int(ZLXClipLayout::Original));
    auto* captions = new QCheckBox(qtTrId("clip.captions"), &dialog);
    captions->setChecked(true);
    form->addRow(qtTrId("clip.layout"), layout);
    form->addRow(QString(), captions);
    // the overlay: what the drive's telemetry can show, and where
    std::string note;
    ZLXOverlayOptions all;
    all.map = all.speed = all.g = all.time = true;
    const ZLXOverlayOptions possible = overlayForDrive(drive, all, &note);
    auto* elements = new QWidget(&dialog);
    auto* row = new QHBoxLayout(elements);
    row->setContentsMargins(0, 0, 0, 0);
    QCheckBox* map = new QCheckBox(qtTrId("clip.overlay.map"), elements);
    QCheckBox* speed = new QCheckBox(qtTrId("clip.overlay.speed"), elements);
    QCheckBox* g = new QCheckBox(qtTrId("clip.overlay.g"), elements);
    QCheckBox* time = new QCheckBox(qtTrId("clip.overlay.time"), elements);
    for (auto [box, on] : {std::pair{map, possible.map}, {speed, possible.speed}, {g, possible.g}, {time, possible.time}}) {
        box->setEnabled(on);
        row->addWidget(box);
    }
    form->addRow(qtTrId("clip.overlay"), elements);
    auto* place = new QComboBox(&dialog);
    place->setObjectName(QStringLiteral("overlayPlace"));
    using Place = ZLXOverlayOptions::Place;
    for (const auto& [key, value] : {std::pair{"clip.place.bottom_left", Place::BottomLeft},
                                     {"clip.place.bottom_right", Place::BottomRight},
                                     {"clip.place.top_left", Place::TopLeft}, {"clip.place.top_right", Place::TopRight},
                                     {"clip.place.bottom", Place::BottomStrip}})
        place->addItem(qtTrId(key), int(value));
    form->addRow(qtTrId("clip.place"), place);
    if (!note.empty())
        form->addRow(QString(), new QLabel(QString::fromStdString(note), &dialog));
    // the faces and plates hidden: the redaction window, and how many boxes it holds
    auto* hide = new QWidget(&dialog);
    auto* hideRow = new QHBoxLayout(hide);
    hideRow->setContentsMargins(0, 0, 0, 0);
    auto* redact = new QPushButton(qtTrId("clip.redact.button"), hide);
    redact->setObjectName(QStringLiteral("clipRedact"));
    auto* count = new QLabel(qtTrId("clip.redact.count").arg(boxes), hide);
    count->setObjectName(QStringLiteral("clipRedactCount"));
    hideRow->addWidget(redact);
    hideRow->addWidget(count, 1);
    QObject::connect(redact, &QPushButton::clicked, &dialog,
                     [&] { count->setText(qtTrId("clip.redact.count").arg(editBoxes(&dialog))); });
    form->addRow(qtTrId("clip.redact"), hide);
    auto* encoder = new QLabel(QString::fromStdString(ZLXClipExport::videoEncoder().description), &dialog);
    encoder->setObjectName(QStringLiteral("clipEncoder"));
    form->addRow(qtTrId("clip.encoder"), encoder);
    const auto original = [layout] { return layout->currentData().toInt() == int(ZLXClipLayout::Original); };
    QObject::connect(layout, &QComboBox::currentIndexChanged, &dialog, [=] {
        // the original-quality copy is the stream as recorded: nothing is burned into it
        captions->setEnabled(!original());
        elements->setEnabled(!original());
        place->setEnabled(!original());
        hide->setEnabled(!original());
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(qtTrId("clip.export"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    ZLXClipOptions options;
    options.layout = ZLXClipLayout(layout->currentData().toInt());
    options.captions = captions->isChecked() && !original();
    ZLXOverlayOptions overlay;
    overlay.map = map->isChecked() && map->isEnabled();
    overlay.speed = speed->isChecked() && speed->isEnabled();
    overlay.g = g->isChecked() && g->isEnabled();
    overlay.time = time->isChecked() && time->isEnabled();
    overlay.place = Place(place->currentData().toInt());
    if (overlay.any() && !original())
        options.overlay = overlay;
    return options;
}

} // namespace

ZLXTripController::ZLXTripController(ZLXPlayback& playback, const ZLXMediaList& mediaList, QWidget* panelParent,
                                     QWidget* sliderBox, QWidget* window, QObject* parent)
    : QObject(parent), m_playback(playback), m_mediaList(mediaList), m_window(window) {
    m_panel = new QWidget(panelParent);
    m_panel->setObjectName(QStringLiteral("tripListView"));
    auto* layout = new QVBoxLayout(m_panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    // over the trips of a library: its days, recordings and room, read in the background
    m_librarySummary = new QLabel(m_panel);
    m_librarySummary->setObjectName(QStringLiteral("librarySummary"));
    m_librarySummary->setWordWrap(true);
    m_librarySummary->setToolTip(qtTrId("trip.library_days"));
    m_librarySummary->hide();
    layout->addWidget(m_librarySummary);
    m_tree = new QTreeWidget(m_panel);
    m_tree->setObjectName(QStringLiteral("tripTree"));
    // one column: each trip on two lines, its date and times over its figures
    m_tree->setColumnCount(1);
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(true);
    m_tree->setUniformRowHeights(false);
    m_tree->setWordWrap(true);
    m_tree->setExpandsOnDoubleClick(false);
    layout->addWidget(m_tree);
    m_progress = new QProgressBar(m_panel);
    m_progress->setObjectName(QStringLiteral("tripProgress"));
    m_progress->setFormat(qtTrId("trip.reading"));
    m_progress->hide();
    layout->addWidget(m_progress);
    m_panel->hide();
    connect(m_tree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item, int) { itemActivated(item); });
    connect(m_tree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
        if (item->parent()) // an impact plays at a single click
            itemActivated(item);
    });

    m_slider = new ZLXTripSlider(sliderBox);
    m_slider->hide();
    static_cast<QVBoxLayout*>(sliderBox->layout())->insertWidget(1, m_slider);
    connect(m_slider, &ZLXTripSlider::seekRequested, this, [this](double fraction) {
        if (m_active)
            seekActiveTrip(fraction * m_drives[*m_active].trip.duration());
    });

    m_gapSeconds = std::clamp(QSettings().value(QString::fromLatin1(kGapKey), 180.0).toDouble(), 10.0, 86400.0);
}

void ZLXTripController::setThumbnails(ZLXThumbnailer& thumbnailer, ZLXThumbnailPreview& preview) {
    m_thumbnailer = &thumbnailer;
    m_sliderPreview = new ZLXSliderPreview(m_slider, thumbnailer, preview,
                                           [this](double fraction) { return tripMoment(fraction); });
    m_strip = new ZLXThumbnailStrip(m_slider->parentWidget());
    m_strip->setVisible(m_sliderShown);
    static_cast<QVBoxLayout*>(m_slider->parentWidget()->layout())->insertWidget(1, m_strip);
    m_strip->setSource([this](double fraction) -> QImage {
        const std::optional<ZLXSliderMoment> moment = tripMoment(fraction);
        if (!moment || !m_thumbnailer)
            return QImage();
        return m_thumbnailer->thumbnail(moment->front.isEmpty() ? moment->rear : moment->front, moment->seconds);
    });
    connect(&thumbnailer, &ZLXThumbnailer::ready, m_strip, [this] {
        if (m_strip->isVisible())
            m_strip->update();
    });
}

std::optional<ZLXSliderMoment> ZLXTripController::tripMoment(double fraction) const {
    if (!m_active || *m_active >= m_drives.size())
        return std::nullopt;
    const ZLXTrip& trip = m_drives[*m_active].trip;
    if (trip.groups.empty() || trip.duration() <= 0)
        return std::nullopt;
    const double at = std::clamp(fraction, 0.0, 1.0) * trip.duration();
    const ZLXTrip::Place place = trip.placeAt(at);
    const ZLXTripGroup& group = trip.groups[place.group];
    ZLXSliderMoment moment;
    moment.front = QString::fromStdString(group.frontPath);
    moment.rear = QString::fromStdString(group.rearPath);
    moment.seconds = place.seconds;
    moment.timeText = group.start ? QString::fromStdString(civilDateTimeText(*group.start + int64_t(place.seconds)))
                                  : QString::fromStdString(ZLXTimeString(int64_t(at * 1000)));
    return moment;
}

void ZLXTripController::showLibrarySummary(uint64_t generation) {
    m_librarySummary->hide();
    const std::string folder = m_mediaList.directoryPath().value_or(std::string());
    if (folder.empty() || !isLibraryFolder(folder))
        return;
    auto* watcher = new QFutureWatcher<QString>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation != m_generation)
            return; // another folder since
        m_librarySummary->setText(watcher->result());
        m_librarySummary->show();
    });
    watcher->setFuture(QtConcurrent::run([folder] {
        const QStorageInfo disk(QFile::decodeName(QByteArray::fromStdString(folder)));
        return QString::fromStdString(librarySummaryText(libraryDays(folder), uint64_t(disk.bytesAvailable())));
    }));
}

void ZLXTripController::playRouteAt(double seconds) {
    if (m_routed)
        playTrip(*m_routed, seconds);
}

ZLXTripController::~ZLXTripController() {
    if (m_current)
        m_current->store(0); // a load under way stops at its next recording
}

void ZLXTripController::setGapSeconds(double seconds) {
    m_gapSeconds = std::clamp(seconds, 10.0, 86400.0);
    QSettings().setValue(QString::fromLatin1(kGapKey), m_gapSeconds);
    reload();
}

void ZLXTripController::chooseGap() {
    bool ok = false;
    const int minutes = QInputDialog::getInt(m_window, qtTrId("trip.gap.title"), qtTrId("trip.gap.label"),
                                             int(std::lround(m_gapSeconds / 60)), 1, 240, 1, &ok);
    if (ok)
        setGapSeconds(minutes * 60.0);
}

void ZLXTripController::reload() {
    const uint64_t generation = ++m_generation;
    if (m_current)
        m_current->store(0);
    m_current = std::make_shared<std::atomic<uint64_t>>(generation);
    m_wanted = std::make_shared<std::atomic<int64_t>>(-1);
    m_zone.reset();
    m_drives.clear();
    m_complete.clear();
    m_clipTrip.reset();
    m_clipIn.reset();
    m_clipOut.reset();
    setActive(std::nullopt, 0);
    m_routed.reset();
    emit routeChanged(kMapClearRouteScript);
    const ZLXMediaList& list = m_mediaList;
    m_loading = !list.medias().empty();
    fillTree();
    showLibrarySummary(generation);
    if (!m_loading) {
        m_progress->hide();
        emit tripsListed();
        emit tripsLoaded();
        return;
    }
    m_progress->setRange(0, 0);
    m_progress->show();
    const std::string config = list.directoryPath().value_or(std::string()) + "/config.bin";
    QPointer<ZLXTripController> self(this);
    // what the background reports, applied on this thread if the load is still the current one
    auto post = [self, generation](auto apply) {
        QMetaObject::invokeMethod(
            self, [self, generation, apply = std::move(apply)]() mutable {
                if (self && self->m_generation == generation)
                    apply(*self);
            },
            Qt::QueuedConnection);
    };
    // First the trips from the names and each file's movie header (a few reads a file, none
    // for a card seen before); then each trip's telemetry, the one the user opens first. The
    // cache keeps the tracks for the route, the exports and the next reload; the index keeps
    // them for the next opening.
    (void)QtConcurrent::run([generation, current = m_current, wanted = m_wanted, cache = m_cache, index = m_indexPath,
                             medias = list.medias(), pairs = list.mediaPairDic(), gap = m_gapSeconds, config, post] {
        const auto live = [&] { return current->load() == generation; };
        if (!index.empty())
            cache->openIndex(index);
        std::vector<ZLXTrip> trips = groupTrips(tripGroupsWithDurations(medias, pairs, cache.get()), gap);
        if (!live())
            return;
        size_t total = 0, done = 0;
        for (const ZLXTrip& trip : trips)
            total += trip.groups.size();
        post([trips](ZLXTripController& c) mutable { c.listed(std::move(trips)); });
        const ZLXImpactThresholds thresholds = impactThresholdsOf(config).value_or(ZLXImpactThresholds{});
        std::vector<bool> read(trips.size(), false);
        for (size_t n = 0; n < trips.size(); ++n) {
            const int64_t asked = wanted->load();
            size_t t = asked >= 0 && size_t(asked) < trips.size() && !read[size_t(asked)] ? size_t(asked) : 0;
            while (read[t])
                ++t;
            ZLXDrive drive = ZLXDrive::load(
                trips[t], [cache](const std::string& path) { return cache->track(path); }, thresholds,
                [&](size_t, size_t) {
                    post([d = int(done++), total](ZLXTripController& c) { c.m_progress->setRange(0, int(total)), c.m_progress->setValue(d); });
                    return live();
                });
            if (!live())
                return;
            read[t] = true;
            post([t, drive = std::move(drive)](ZLXTripController& c) mutable { c.driveLoaded(t, std::move(drive)); });
        }
    });
}

void ZLXTripController::listed(std::vector<ZLXTrip> trips) {
    m_drives.clear();
    for (ZLXTrip& trip : trips)
        m_drives.push_back(ZLXDrive{std::move(trip), {}, {}, {}});
    m_complete.assign(m_drives.size(), false);
    fillTree();
    playerStarted(); // a recording already playing finds its trip
    emit tripsListed();
    if (m_drives.empty())
        finishLoading();
}

void ZLXTripController::driveLoaded(size_t trip, ZLXDrive drive) {
    if (trip >= m_drives.size())
        return;
    // the route's tracks move with the drive; its parts point into them
    m_drives[trip] = std::move(drive);
    m_complete[trip] = true;
    if (QTreeWidgetItem* item = m_tree->topLevelItem(int(trip)))
        fillItem(item, trip);
    if (m_active == trip) {
        m_routed.reset(); // its route and impacts are there now
        setActive(trip, m_activeGroup);
    }
    emit tripRead(trip);
    if (std::all_of(m_complete.begin(), m_complete.end(), [](bool c) { return c; }))
        finishLoading();
}

void ZLXTripController::finishLoading() {
    m_loading = false;
    m_progress->hide();
    if (m_drives.empty())
        fillTree();
    emit tripsLoaded();
}

bool ZLXTripController::isComplete(size_t trip) const {
    return trip < m_complete.size() && m_complete[trip];
}

void ZLXTripController::setGpsTimes(bool on) {
    m_gpsTimes = on;
    for (size_t t = 0; t < m_drives.size(); ++t)
        if (QTreeWidgetItem* item = m_tree->topLevelItem(int(t)))
            fillItem(item, t);
}

void ZLXTripController::fillItem(QTreeWidgetItem* item, size_t t) {
    const ZLXDrive& drive = m_drives[t];
    const QLocale locale;
    qDeleteAll(item->takeChildren());
    // with GPS times asked for, a trip read whole shows its times less the clock's error
    std::optional<int64_t> clockError;
    if (m_gpsTimes && isComplete(t)) {
        if (!m_zone)
            m_zone = cardClockZone(m_mediaList.directoryPath().value_or(std::string()) + "/config.bin");
        clockError = driveClockError(drive, *m_zone);
    }
    item->setText(0, tripTitle(drive.trip, clockError) + QLatin1Char('\n') +
                         (isComplete(t) ? tripFigures(drive) : qtTrId("trip.figures_pending").arg(lengthText(drive.trip.duration()))));
    item->setData(0, TripRole, qulonglong(t));
    item->setData(0, TimeRole, 0.0);
    item->setToolTip(0, qtTrId("trip.recordings").arg(drive.trip.groups.size()));
    for (const ZLXDrive::Impact& impact : drive.impacts) {
        auto* child = new QTreeWidgetItem(item);
        const ZLXTripGroup& group = drive.trip.groups[impact.group];
        QString when = lengthText(impact.time);
        if (group.start)
            when = civilDateTime(*group.start + int64_t(impact.impact.seconds) - clockError.value_or(0))
                       .toString(QStringLiteral("HH:mm:ss"));
        child->setText(0, QStringLiteral("%1  %2 %3 g")
                              .arg(when, impact.impact.eventRecording ? qtTrId("trip.event") : qtTrId("trip.impact"),
                                   locale.toString(double(impact.impact.g), 'f', 1)));
        child->setForeground(0, QColor(255, 110, 110));
        child->setData(0, TripRole, qulonglong(t));
        child->setData(0, TimeRole, std::max(0.0, impact.time - kBeforeImpact));
    }
    item->setExpanded(true);
}

void ZLXTripController::fillTree() {
    m_tree->clear();
    for (size_t t = 0; t < m_drives.size(); ++t)
        fillItem(new QTreeWidgetItem(m_tree), t);
    if (m_drives.empty() && !m_loading && !m_mediaList.medias().empty())
        new QTreeWidgetItem(m_tree, {qtTrId("trip.none")});
}

void ZLXTripController::itemActivated(QTreeWidgetItem* item) {
    const QVariant trip = item->data(0, TripRole);
    if (trip.isValid())
        playTrip(size_t(trip.toULongLong()), item->data(0, TimeRole).toDouble());
}

bool ZLXTripController::playTrip(size_t trip, double seconds) {
    if (trip >= m_drives.size() || m_drives[trip].trip.groups.empty())
        return false;
    if (m_wanted && !isComplete(trip))
        m_wanted->store(int64_t(trip)); // its telemetry is read next
    const ZLXTrip& t = m_drives[trip].trip;
    const ZLXTrip::Place place = t.placeAt(seconds);
    return m_playback.playAt(t.groups[place.group].playPath(), place.seconds);
}

void ZLXTripController::seekActiveTrip(double seconds) {
    if (m_active)
        playTrip(*m_active, seconds);
}

void ZLXTripController::playerStarted() {
    const auto media = m_playback.playingMedia();
    std::optional<size_t> found;
    size_t group = 0;
    for (size_t t = 0; media && t < m_drives.size() && !found; ++t) {
        for (size_t g = 0; g < m_drives[t].trip.groups.size(); ++g) {
            const ZLXTripGroup& candidate = m_drives[t].trip.groups[g];
            if (candidate.frontPath == media->path() || candidate.rearPath == media->path()) {
                found = t, group = g;
                break;
            }
        }
    }
    setActive(found, group);
}

void ZLXTripController::showSlider(bool show) {
    if (show == m_sliderShown)
        return;
    m_sliderShown = show;
    m_slider->setVisible(show);
    if (m_strip) {
        const auto [left, right] = ZLXSliderPreview::handleRun(m_slider);
        m_strip->setMargins(left, right);
        m_strip->setVisible(show);
    }
    emit tripSliderShown(show);
}

void ZLXTripController::setActive(std::optional<size_t> trip, size_t group) {
    if (trip != m_active && m_thumbnailer)
        m_thumbnailer->forgetLater(); // the strip's pictures of another trip are not waited for
    m_active = trip;
    m_activeGroup = group;
    if (!trip) {
        emit impactMarksChanged({});
        showSlider(false);
        return;
    }
    const ZLXDrive& drive = m_drives[*trip];
    const double length = drive.trip.duration();
    std::vector<double> boundaries, impacts, inGroup;
    for (size_t g = 1; g < drive.trip.groups.size() && length > 0; ++g)
        boundaries.push_back(drive.trip.startOf(g) / length);
    for (const ZLXDrive::Impact& impact : drive.impacts) {
        if (length > 0)
            impacts.push_back(impact.time / length);
        const double groupLength = drive.trip.groups[impact.group].duration;
        if (impact.group == group && groupLength > 0)
            inGroup.push_back(impact.impact.seconds / groupLength);
    }
    m_slider->setMarks(std::move(boundaries), std::move(impacts));
    if (QTreeWidgetItem* item = m_tree->topLevelItem(int(*trip)); item && !item->isSelected() &&
                                                                  (!m_tree->currentItem() || !m_tree->currentItem()->parent()))
        m_tree->setCurrentItem(item); // the trip playing is the one chosen in the list
    emit impactMarksChanged(std::move(inGroup));
    if (m_routed != trip) {
        m_routed = trip;
        // a click on an impact's mark plays from a little before it
        std::vector<ZLXRouteMark> marks = drive.marks();
        for (ZLXRouteMark& mark : marks)
            mark.time = std::max(0.0, mark.time - kBeforeImpact);
        emit routeChanged(mapRouteScript(drive.route, marks, true));
    }
    // a trip of one recording needs no second slider, unless a clip is marked on it
    showSlider(drive.trip.groups.size() > 1 || (m_clipTrip == trip && (m_clipIn || m_clipOut)));
    updateClipMarks();
}

void ZLXTripController::positionChanged(double position) {
    if (!m_active || m_slider->isSliderDown())
        return;
    const ZLXTrip& trip = m_drives[*m_active].trip;
    const double length = trip.duration();
    if (length <= 0 || m_activeGroup >= trip.groups.size())
        return;
    const double t = trip.timeOf(m_activeGroup, position * trip.groups[m_activeGroup].duration);
    const QSignalBlocker quiet(m_slider);
    m_slider->setValue(int(std::lround(t / length * kSliderSteps)));
}

std::optional<double> ZLXTripController::activeTripTime() const {
    const auto now = m_playback.currentSeconds(), length = m_playback.lengthSeconds();
    if (!m_active || !now)
        return std::nullopt;
    const ZLXTrip& trip = m_drives[*m_active].trip;
    return trip.timeOf(m_activeGroup, *now * (*length > 0 ? trip.groups[m_activeGroup].duration / *length : 1));
}

void ZLXTripController::markClipIn() {
    const auto t = activeTripTime();
    if (!t)
        return;
    if (m_clipTrip != m_active)
        m_clipOut.reset();
    m_clipTrip = m_active;
    m_clipIn = t;
    m_redactionPaths.reset(); // boxes followed through other marks are followed again
    updateClipMarks();
}

void ZLXTripController::markClipOut() {
    const auto t = activeTripTime();
    if (!t)
        return;
    if (m_clipTrip != m_active)
        m_clipIn.reset();
    m_clipTrip = m_active;
    m_clipOut = t;
    m_redactionPaths.reset();
    updateClipMarks();
}

void ZLXTripController::setRedactionPlan(ZLXRedactionPlan plan) {
    m_redactionPlan = std::move(plan);
    m_redactionPaths.reset();
}

std::optional<ZLXClipChannels> ZLXTripController::clipChannels() const {
    if (!m_clipTrip || *m_clipTrip >= m_drives.size() || !m_clipIn || !m_clipOut || *m_clipIn == *m_clipOut)
        return std::nullopt;
    return daxo::clipChannels(
        clipSegments(m_drives[*m_clipTrip].trip, std::min(*m_clipIn, *m_clipOut), std::max(*m_clipIn, *m_clipOut)));
}

bool ZLXTripController::editRedaction(QWidget* parent) {
    const auto channels = clipChannels();
    if (!channels)
        return false;
    ZLXRedactionEditor editor(*channels, m_redactionPlan, parent);
    if (editor.exec() != QDialog::Accepted)
        return false;
    m_redactionPlan = editor.plan();
    m_redactionPaths = editor.paths();
    return true;
}

void ZLXTripController::updateClipMarks() {
    const double length = m_clipTrip && *m_clipTrip < m_drives.size() ? m_drives[*m_clipTrip].trip.duration() : 0;
    const bool shown = length > 0 && m_active == m_clipTrip;
    m_slider->setClipRange(shown && m_clipIn ? std::optional<double>(*m_clipIn / length) : std::nullopt,
                           shown && m_clipOut ? std::optional<double>(*m_clipOut / length) : std::nullopt);
    if (shown)
        showSlider(true); // the marks show on the trip's slider, also for a trip of one recording
}

bool ZLXTripController::exportClip(const ZLXClipOptions& options, const QString& path, QString* error) {
    if (!m_clipTrip || *m_clipTrip >= m_drives.size() || !m_clipIn || !m_clipOut || *m_clipIn == *m_clipOut) {
        if (error)
            *error = qtTrId("msg.clip_not_marked");
        return false;
    }
    if (!isComplete(*m_clipTrip)) {
        if (error)
            *error = qtTrId("msg.trip_not_read");
        return false;
    }
    if (!m_clip) {
        m_clip = new ZLXClipExport(this);
        connect(m_clip, &ZLXClipExport::finished, this, [this](bool ok, const QString& message) {
            emit clipFinished(ok, m_clipPath, message);
        });
    }
    // the boxes followed through the clip as it is marked now, once
    const ZLXRedactionPaths* redaction = nullptr;
    ZLXClipOptions withClock = options;
    if (!m_redactionPlan.boxes.empty() && options.layout != ZLXClipLayout::Original) {
        const auto channels = clipChannels();
        if (!m_redactionPaths && channels) {
            QString why;
            m_redactionPaths = followWithProgress(m_window, m_redactionPlan, *channels, &why);
            if (!m_redactionPaths) {
                if (error)
                    *error = why; // empty when the user stopped it
                return false;
            }
        }
        redaction = m_redactionPaths ? &*m_redactionPaths : nullptr;
        withClock.redaction = ZLXClipOptions::Redaction{};
        withClock.redaction->pixelate = m_redactionPlan.style == ZLXRedactionStyle::Pixelate;
    }
    m_clipPath = path;
    const std::string config = m_mediaList.directoryPath().value_or(std::string()) + "/config.bin";
    withClock.clockError = driveClockError(m_drives[*m_clipTrip], cardClockZone(config));
    return m_clip->start(m_drives[*m_clipTrip], std::min(*m_clipIn, *m_clipOut), std::max(*m_clipIn, *m_clipOut),
                         withClock, path, error, redaction);
}

void ZLXTripController::exportClipWithDialog() {
    QWidget* window = m_window;
    if (!m_clipIn || !m_clipOut || *m_clipIn == *m_clipOut) {
        showAlert(window, qtTrId("window.title"), qtTrId("msg.clip_not_marked"));
        return;
    }
    const auto options = m_clipOptionsChooser
                             ? m_clipOptionsChooser(window)
                             : askClipOptions(
                                   window, m_drives[*m_clipTrip],
                                   [this](QWidget* parent) {
                                       editRedaction(parent);
                                       return m_redactionPlan.boxes.size();
                                   },
                                   m_redactionPlan.boxes.size());
    if (!options)
        return;
    QString stem = QStringLiteral("clip");
    if (const auto start = m_drives[*m_clipTrip].trip.startTime())
        stem = civilDateTime(*start + qint64(std::min(*m_clipIn, *m_clipOut))).toString(QStringLiteral("'clip_'yyyyMMdd_HHmmss"));
    const QString suggested =
        QStandardPaths::writableLocation(QStandardPaths::MoviesLocation) + QLatin1Char('/') + stem + QStringLiteral(".mp4");
    const QString path = m_exportChooser ? m_exportChooser(window, suggested)
                                         : QFileDialog::getSaveFileName(window, qtTrId("menu.export_clip"), suggested,
                                                                        qtTrId("filter.mp4"));
    if (path.isEmpty())
        return;
    ZLXClipOptions chosen = *options;
    chosen.replace = true; // the save dialog asked before it offered an existing name
    QString error;
    if (!exportClip(chosen, path, &error)) {
        if (!error.isEmpty())
            showAlert(window, qtTrId("window.title"), error);
        return;
    }
    m_clipProgress = new QProgressDialog(qtTrId("clip.encoding"), qtTrId("clip.cancel"), 0, 1000, window);
    m_clipProgress->setObjectName(QStringLiteral("clipProgress"));
    m_clipProgress->setWindowTitle(qtTrId("clip.progress_title"));
    m_clipProgress->setWindowModality(Qt::WindowModal);
    m_clipProgress->setMinimumDuration(0);
    m_clipProgress->setAutoClose(false);
    m_clipProgress->setAutoReset(false);
    connect(m_clip, &ZLXClipExport::progress, m_clipProgress, [this](double f) { m_clipProgress->setValue(int(f * 1000)); });
    connect(m_clipProgress, &QProgressDialog::canceled, m_clip, &ZLXClipExport::cancel);
    QPointer<QProgressDialog> progress(m_clipProgress);
    connect(this, &ZLXTripController::clipFinished, progress, [this, progress, window](bool ok, const QString& file, const QString& message) {
        if (progress)
            progress->deleteLater();
        m_clipProgress = nullptr;
        if (ok)
            showClipSaved(window, file);
        else if (!message.isEmpty())
            showAlert(window, qtTrId("window.title"), qtTrId("msg.clip_failed").arg(file, message));
    }, Qt::SingleShotConnection);
    m_clipProgress->show();
}

// Where the clip is, with a button that shows it in the file manager (selected there, through
// the desktop's file manager interface; its folder opened where there is none).
void ZLXTripController::showClipSaved(QWidget* window, const QString& file) {
    auto* box = new QMessageBox(QMessageBox::Information, qtTrId("clip.saved.title"), qtTrId("clip.saved").arg(file),
                                QMessageBox::Ok, window);
    box->setObjectName(QStringLiteral("clipSaved"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* show = box->addButton(qtTrId("clip.show_in_folder"), QMessageBox::ActionRole);
    show->setObjectName(QStringLiteral("showInFolderButton"));
    connect(show, &QPushButton::clicked, this, [file] {
        const QUrl url = QUrl::fromLocalFile(file);
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                                           QStringLiteral("/org/freedesktop/FileManager1"),
                                                           QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{url.toString()} << QString();
        if (QDBusConnection::sessionBus().call(call, QDBus::Block, 5000).type() != QDBusMessage::ReplyMessage)
            QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
    });
    box->setWindowModality(Qt::WindowModal);
    box->show();
}

void ZLXTripController::incidentReportWithDialog() {
    QWidget* window = m_window;
    const auto moment = activeTripTime();
    if (!moment) {
        showAlert(window, qtTrId("window.title"), qtTrId("msg.report_nothing_playing"));
        return;
    }
    if (!isComplete(*m_active)) {
        showAlert(window, qtTrId("window.title"), qtTrId("msg.trip_not_read"));
        return;
    }
    const ZLXDrive& drive = m_drives[*m_active];
    QString stem = QStringLiteral("incident");
    if (const auto start = drive.trip.startTime())
        stem = civilDateTime(*start + qint64(*moment)).toString(QStringLiteral("'incident_'yyyyMMdd_HHmmss"));
    const QString suggested =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QLatin1Char('/') + stem + QStringLiteral(".pdf");
    const QString path = m_exportChooser ? m_exportChooser(window, suggested)
                                         : QFileDialog::getSaveFileName(window, qtTrId("menu.incident_report"), suggested,
                                                                        qtTrId("filter.pdf"));
    if (path.isEmpty())
        return;
    // the clip's boxes, when the moment lies in the marked clip and the user wants them hidden
    std::optional<ZLXReportRedaction> redaction;
    const double clipFrom = m_clipIn && m_clipOut ? std::min(*m_clipIn, *m_clipOut) : 0;
    if (!m_redactionPlan.boxes.empty() && m_clipTrip == m_active && m_clipIn && m_clipOut && *moment >= clipFrom &&
        *moment <= std::max(*m_clipIn, *m_clipOut) &&
        (m_reportRedactionAsker ? m_reportRedactionAsker(window)
                                : QMessageBox::question(window, qtTrId("window.title"), qtTrId("report.redact")) ==
                                      QMessageBox::Yes)) {
        if (!m_redactionPaths) {
            QString why;
            if (const auto channels = clipChannels())
                m_redactionPaths = followWithProgress(window, m_redactionPlan, *channels, &why);
            if (!m_redactionPaths) {
                if (!why.isEmpty())
                    showAlert(window, qtTrId("window.title"), why);
                return;
            }
        }
        redaction = ZLXReportRedaction{m_redactionPaths->boxesAt(ZLXRedactionChannel::Front, *moment - clipFrom),
                                       m_redactionPaths->boxesAt(ZLXRedactionChannel::Rear, *moment - clipFrom),
                                       m_redactionPlan.style};
    }
    QProgressDialog busy(qtTrId("report.writing"), QString(), 0, 0, window);
    busy.setWindowTitle(qtTrId("report.progress_title"));
    busy.setWindowModality(Qt::WindowModal);
    busy.setMinimumDuration(0);
    busy.show();
    QCoreApplication::processEvents();
    const std::string config = m_mediaList.directoryPath().value_or(std::string()) + "/config.bin";
    // the save dialog asked before it offered an existing name
    const ZLXReportResult result = writeIncidentReport(drive, *moment, path, config, true, redaction ? &*redaction : nullptr);
    busy.close();
    if (!result.ok) {
        showAlert(window, qtTrId("window.title"), result.error);
        return;
    }
    emit reportSaved(path, result.sha256);
    showNoticeSheet(window, qtTrId("report.saved"), qtTrId("report.sha256").arg(QFileInfo(path).fileName(), result.sha256));
}

std::optional<size_t> ZLXTripController::exportTrip() const {
    if (m_active)
        return m_active;
    if (const QTreeWidgetItem* item = m_tree->currentItem(); item && item->data(0, TripRole).isValid())
        return size_t(item->data(0, TripRole).toULongLong());
    return std::nullopt;
}

std::optional<QString> ZLXTripController::exportRoute(Format format, const QString& path) {
    const auto trip = exportTrip();
    if (!trip || *trip >= m_drives.size())
        return QStringLiteral("msg.export_no_trip");
    if (!isComplete(*trip))
        return QStringLiteral("msg.trip_not_read");
    const ZLXDrive& drive = m_drives[*trip];
    const std::string name = tripTitle(drive.trip).toStdString();
    const std::string text = format == Format::Gpx   ? routeGpx(drive.route, name, drive.marks())
                             : format == Format::Kml ? routeKml(drive.route, name, drive.marks())
                                                     : routeCsv(drive.route);
    // written beside the target and renamed over it once complete
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), qint64(text.size())) != qint64(text.size()) ||
        !file.commit())
        return QStringLiteral("msg.export_failed");
    return std::nullopt;
}

void ZLXTripController::exportWithDialog(Format format) {
    const auto trip = exportTrip();
    if (!trip || *trip >= m_drives.size() || !isComplete(*trip)) {
        showAlert(m_window, qtTrId("window.title"), qtTrId(trip && *trip < m_drives.size() ? "msg.trip_not_read" : "msg.export_no_trip"));
        return;
    }
    const char* extension = format == Format::Gpx ? "gpx" : format == Format::Kml ? "kml" : "csv";
    QString stem = QStringLiteral("trip");
    if (const auto start = m_drives[*trip].trip.startTime())
        stem = civilDateTime(*start).toString(QStringLiteral("'trip_'yyyyMMdd_HHmmss"));
    const QString suggested = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QLatin1Char('/') +
                              stem + QLatin1Char('.') + QLatin1String(extension);
    QString path;
    if (m_exportChooser) {
        path = m_exportChooser(m_window, suggested);
    } else {
        const QString filter = format == Format::Gpx   ? qtTrId("filter.gpx")
                               : format == Format::Kml ? qtTrId("filter.kml")
                                                       : qtTrId("filter.csv");
        path = QFileDialog::getSaveFileName(m_window, qtTrId("menu.export_route"), suggested, filter);
    }
    if (path.isEmpty())
        return;
    if (const auto error = exportRoute(format, path))
        showAlert(m_window, qtTrId("window.title"), qtTrId(qPrintable(*error)).arg(path));
}

} // namespace daxo
