// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/redaction/ZLXRedactionEditor.h"
#include "app/export/ZLXIncidentReport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QSlider>
#include <QVBoxLayout>
#include <QtConcurrent>

#include "library/ZLXFileIO.h"

#include <cerrno>
#include <cstring>
#include <opencv2/core.hpp>
#include <unistd.h>

namespace daxo {

namespace {

QImage toImage(const cv::Mat& bgr) {
    if (bgr.empty())
        return {};
    return QImage(bgr.data, bgr.cols, bgr.rows, int(bgr.step), QImage::Format_BGR888).copy();
}

// The boxes of a plan shown at a frame of a channel.
std::vector<ZLXRedactionView::Shown> shownAt(const ZLXRedactionPaths& paths, ZLXRedactionChannel channel, int64_t frame) {
    std::vector<ZLXRedactionView::Shown> shown;
    for (size_t b = 0; b < paths.paths.size(); ++b) {
        if (paths.channels[b] != channel || size_t(frame) >= paths.paths[b].size())
            continue;
        if (const ZLXBoxFrame& at = paths.paths[b][size_t(frame)]; at.rect)
            shown.push_back({*at.rect, b, at.lost});
    }
    return shown;
}

} // namespace

// ---- the picture

ZLXRedactionView::ZLXRedactionView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("redactionView"));
    setMinimumSize(480, 270);
    setMouseTracking(false);
    setCursor(Qt::CrossCursor);
}

void ZLXRedactionView::setPicture(const QImage& picture, ZLXPictureSize source) {
    m_picture = picture;
    m_source = source;
    update();
}

void ZLXRedactionView::setBoxes(std::vector<Shown> boxes, std::optional<size_t> selected) {
    m_boxes = std::move(boxes);
    m_selected = selected;
    update();
}

void ZLXRedactionView::setSuggestions(std::vector<ZLXSuggestion> suggestions) {
    m_suggestions = std::move(suggestions);
    update();
}

QRectF ZLXRedactionView::pictureRect() const {
    if (m_source.width <= 0 || m_source.height <= 0)
        return rect();
    const QSizeF size = QSizeF(m_source.width, m_source.height).scaled(QSizeF(this->size()), Qt::KeepAspectRatio);
    return QRectF(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

QPointF ZLXRedactionView::toWidget(double x, double y) const {
    const QRectF r = pictureRect();
    return {r.left() + x * r.width() / std::max(1, m_source.width), r.top() + y * r.height() / std::max(1, m_source.height)};
}

QRectF ZLXRedactionView::toWidget(const ZLXBoxRect& box) const {
    return QRectF(toWidget(box.x, box.y), toWidget(box.right(), box.bottom()));
}

QPointF ZLXRedactionView::toSource(QPointF widget) const {
    const QRectF r = pictureRect();
    const double x = (widget.x() - r.left()) * m_source.width / std::max(1.0, r.width());
    const double y = (widget.y() - r.top()) * m_source.height / std::max(1.0, r.height());
    return {std::clamp(x, 0.0, double(m_source.width)), std::clamp(y, 0.0, double(m_source.height))};
}

void ZLXRedactionView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (!m_picture.isNull())
        p.drawImage(pictureRect(), m_picture);
    p.setRenderHint(QPainter::Antialiasing);
    for (const Shown& box : m_boxes) {
        QRectF r = toWidget(box.rect);
        if (m_moving && *m_moving == box.box && m_pressed)
            r.translate(toWidget(m_now.x(), m_now.y()) - toWidget(m_pressed->x(), m_pressed->y()));
        // yellow, the chosen one thicker; red where the tracker lost what it followed
        QPen pen(box.lost ? QColor(230, 40, 40) : QColor(255, 210, 0), m_selected == box.box ? 3 : 2);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r);
    }
    for (const ZLXSuggestion& s : m_suggestions) {
        QPen pen(s.plate ? QColor(120, 200, 255) : QColor(255, 255, 255), 2, Qt::DashLine);
        p.setPen(pen);
        p.drawRect(toWidget(s.rect));
    }
    if (m_pressed && !m_moving) {
        p.setPen(QPen(QColor(255, 210, 0), 2, Qt::DashLine));
        p.drawRect(QRectF(toWidget(m_pressed->x(), m_pressed->y()), toWidget(m_now.x(), m_now.y())).normalized());
    }
}

void ZLXRedactionView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_source.width <= 0)
        return;
    const QPointF at = toSource(event->position());
    // a suggestion clicked is taken; a box pressed is chosen and can be dragged
    for (size_t i = 0; i < m_suggestions.size(); ++i) {
        const ZLXBoxRect& r = m_suggestions[i].rect;
        if (at.x() >= r.x && at.x() <= r.right() && at.y() >= r.y && at.y() <= r.bottom()) {
            emit suggestionChosen(i);
            return;
        }
    }
    m_moving.reset();
    for (auto it = m_boxes.rbegin(); it != m_boxes.rend(); ++it) {
        const ZLXBoxRect& r = it->rect;
        if (at.x() >= r.x && at.x() <= r.right() && at.y() >= r.y && at.y() <= r.bottom()) {
            m_moving = it->box;
            break;
        }
    }
    m_selected = m_moving;
    emit boxSelected(m_selected);
    m_pressed = m_now = at;
    update();
}

void ZLXRedactionView::mouseMoveEvent(QMouseEvent* event) {
    if (!m_pressed)
        return;
    m_now = toSource(event->position());
    update();
}

void ZLXRedactionView::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_pressed || event->button() != Qt::LeftButton)
        return;
    m_now = toSource(event->position());
    const QPointF from = *m_pressed;
    m_pressed.reset();
    if (m_moving) {
        const size_t box = *m_moving;
        m_moving.reset();
        const QPointF by = m_now - from;
        for (const Shown& shown : m_boxes) {
            if (shown.box != box || (std::abs(by.x()) < 1 && std::abs(by.y()) < 1))
                continue;
            ZLXBoxRect moved = shown.rect;
            moved.x = std::clamp(moved.x + by.x(), 0.0, m_source.width - moved.w);
            moved.y = std::clamp(moved.y + by.y(), 0.0, m_source.height - moved.h);
            emit boxMoved(box, moved);
            break;
        }
    } else {
        const QRectF r = QRectF(from, m_now).normalized();
        if (r.width() >= 4 && r.height() >= 4)
            emit boxDrawn({r.x(), r.y(), r.width(), r.height()});
    }
    update();
}

// ---- the window

ZLXRedactionEditor::ZLXRedactionEditor(ZLXClipChannels channels, ZLXRedactionPlan plan, QWidget* parent)
    : QDialog(parent), m_channels(std::move(channels)), m_plan(std::move(plan)),
      m_alive(std::make_shared<std::atomic<bool>>(true)) {
    setObjectName(QStringLiteral("redactionEditor"));
    setWindowTitle(qtTrId("redact.title"));
    auto* column = new QVBoxLayout(this);
    auto* hint = new QLabel(qtTrId("redact.hint"), this);
    hint->setWordWrap(true);
    column->addWidget(hint);
    m_view = new ZLXRedactionView(this);
    column->addWidget(m_view, 1);

    auto* scrub = new QHBoxLayout;
    m_channelBox = new QComboBox(this);
    m_channelBox->setObjectName(QStringLiteral("redactChannel"));
    m_channelBox->addItem(qtTrId("redact.front"), int(ZLXRedactionChannel::Front));
    if (!m_channels.rear.empty())
        m_channelBox->addItem(qtTrId("redact.rear"), int(ZLXRedactionChannel::Rear));
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("redactSlider"));
    m_slider->setRange(0, int(std::max<int64_t>(0, redactionFrames(m_channels.bounds.length) - 1)));
    m_time = new QLabel(this);
    m_time->setMinimumWidth(m_time->fontMetrics().horizontalAdvance(QStringLiteral("000.00 s / 000.00 s")));
    scrub->addWidget(m_channelBox);
    scrub->addWidget(m_slider, 1);
    scrub->addWidget(m_time);
    column->addLayout(scrub);

    auto* actions = new QHBoxLayout;
    auto* suggest = new QPushButton(qtTrId("redact.suggest"), this);
    suggest->setObjectName(QStringLiteral("redactSuggest"));
    m_end = new QPushButton(qtTrId("redact.end"), this);
    m_delete = new QPushButton(qtTrId("redact.delete"), this);
    auto* follow = new QPushButton(qtTrId("redact.follow"), this);
    follow->setObjectName(QStringLiteral("redactFollow"));
    m_nextLost = new QPushButton(qtTrId("redact.next_lost"), this);
    m_style = new QComboBox(this);
    m_style->addItem(qtTrId("redact.style.blur"), int(ZLXRedactionStyle::Blur));
    m_style->addItem(qtTrId("redact.style.pixelate"), int(ZLXRedactionStyle::Pixelate));
    m_style->setCurrentIndex(m_plan.style == ZLXRedactionStyle::Pixelate ? 1 : 0);
    m_preview = new QCheckBox(qtTrId("redact.preview"), this);
    m_preview->setObjectName(QStringLiteral("redactPreview"));
    for (QWidget* w : std::initializer_list<QWidget*>{suggest, m_end, m_delete, follow, m_nextLost, m_style, m_preview})
        actions->addWidget(w);
    actions->addStretch(1);
    column->addLayout(actions);
    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("redactState"));
    m_state->setWordWrap(true);
    column->addWidget(m_state);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* open = buttons->addButton(qtTrId("redact.open"), QDialogButtonBox::ActionRole);
    QPushButton* save = buttons->addButton(qtTrId("redact.save"), QDialogButtonBox::ActionRole);
    column->addWidget(buttons);

    connect(m_view, &ZLXRedactionView::boxDrawn, this, &ZLXRedactionEditor::addBox);
    connect(m_view, &ZLXRedactionView::boxMoved, this, &ZLXRedactionEditor::moveBox);
    connect(m_view, &ZLXRedactionView::boxSelected, this, [this](std::optional<size_t> box) {
        m_selected = box;
        refresh();
    });
    connect(m_view, &ZLXRedactionView::suggestionChosen, this, [this](size_t i) {
        if (i >= m_suggestions.size())
            return;
        const ZLXBoxRect rect = m_suggestions[i].rect;
        m_suggestions.erase(m_suggestions.begin() + qsizetype(i));
        addBox(rect);
    });
    connect(m_slider, &QSlider::valueChanged, this, [this] { loadPicture(); });
    connect(m_channelBox, &QComboBox::currentIndexChanged, this, [this] {
        m_channel = ZLXRedactionChannel(m_channelBox->currentData().toInt());
        m_selected.reset();
        loadPicture();
    });
    connect(suggest, &QPushButton::clicked, this, &ZLXRedactionEditor::suggest);
    connect(m_end, &QPushButton::clicked, this, &ZLXRedactionEditor::endSelected);
    connect(m_delete, &QPushButton::clicked, this, &ZLXRedactionEditor::deleteSelected);
    connect(follow, &QPushButton::clicked, this, &ZLXRedactionEditor::follow);
    connect(m_nextLost, &QPushButton::clicked, this, &ZLXRedactionEditor::nextLost);
    connect(m_style, &QComboBox::currentIndexChanged, this, [this] {
        m_plan.style = ZLXRedactionStyle(m_style->currentData().toInt());
        emit planChanged();
        refresh();
    });
    connect(m_preview, &QCheckBox::toggled, this, &ZLXRedactionEditor::refresh);
    connect(open, &QPushButton::clicked, this, &ZLXRedactionEditor::openBoxes);
    connect(save, &QPushButton::clicked, this, &ZLXRedactionEditor::saveBoxes);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        // boxes are taken followed, so the export needs no second pass
        if (m_plan.boxes.empty() || m_paths || this->follow())
            accept();
    });
    resize(1000, 720);
    holdBoxes();
    loadPicture();
}

ZLXRedactionEditor::~ZLXRedactionEditor() {
    *m_alive = false;
}

const std::vector<ZLXChannelPiece>& ZLXRedactionEditor::pieces() const {
    return m_channel == ZLXRedactionChannel::Rear ? m_channels.rear : m_channels.front;
}

ZLXPictureSize ZLXRedactionEditor::sourceSize() const {
    return m_channel == ZLXRedactionChannel::Rear ? m_channels.bounds.rear : m_channels.bounds.front;
}

double ZLXRedactionEditor::moment() const {
    return double(m_slider->value()) / kRedactionRate;
}

void ZLXRedactionEditor::setMoment(double seconds) {
    m_slider->setValue(int(frameOf(seconds, redactionFrames(m_channels.bounds.length))));
}

void ZLXRedactionEditor::setChannel(ZLXRedactionChannel channel) {
    const int i = m_channelBox->findData(int(channel));
    if (i >= 0)
        m_channelBox->setCurrentIndex(i);
}

void ZLXRedactionEditor::holdBoxes() {
    m_held = {};
    m_held.frames = redactionFrames(m_channels.bounds.length);
    for (const ZLXRedactionBox& box : m_plan.boxes) {
        m_held.channels.push_back(box.channel);
        m_held.paths.push_back(heldPath(box, m_held.frames));
    }
}

void ZLXRedactionEditor::loadPicture() {
    const int64_t frame = m_slider->value();
    m_time->setText(QStringLiteral("%1 s / %2 s").arg(moment(), 0, 'f', 2).arg(m_channels.bounds.length, 0, 'f', 2));
    m_suggestions.clear();
    m_view->setSuggestions({});
    refresh();
    if (m_loading) {
        m_pending = {m_channel, frame}; // the latest asked for is taken next
        return;
    }
    m_loading = true;
    auto* watcher = new QFutureWatcher<QImage>(this);
    const auto channel = m_channel;
    connect(watcher, &QFutureWatcher<QImage>::finished, this, [this, watcher, channel, frame] {
        watcher->deleteLater();
        m_loading = false;
        if (m_pending && *m_pending != std::pair{channel, frame}) {
            m_pending.reset();
            loadPicture();
            return;
        }
        m_pending.reset();
        m_picture = watcher->result();
        refresh();
        emit pictureShown();
    });
    watcher->setFuture(QtConcurrent::run([pieces = pieces(), source = sourceSize(), t = moment()] {
        return toImage(channelPicture(pieces, t, source));
    }));
}

void ZLXRedactionEditor::refresh() {
    const int64_t frame = m_slider->value();
    std::vector<ZLXRedactionView::Shown> boxes = shownAt(shownPaths(), m_channel, frame);
    QImage picture = m_picture;
    if (m_preview->isChecked() && !picture.isNull()) {
        // the result: each box as the export hides it, scaled to the picture shown
        std::vector<ZLXBoxRect> hidden;
        const double scale = double(picture.width()) / std::max(1, sourceSize().width);
        for (const auto& shown : boxes)
            hidden.push_back({shown.rect.x * scale, shown.rect.y * scale, shown.rect.w * scale, shown.rect.h * scale});
        redactImage(picture, hidden, m_plan.style);
        boxes.clear();
    }
    m_view->setPicture(picture, sourceSize());
    m_view->setBoxes(boxes, m_selected);
    const bool chosen = m_selected && *m_selected < m_plan.boxes.size();
    m_end->setEnabled(chosen);
    m_delete->setEnabled(chosen);
    const std::vector<int64_t> lost = m_paths ? m_paths->lostFrames() : std::vector<int64_t>{};
    m_nextLost->setEnabled(!lost.empty());
    QString state;
    if (m_plan.boxes.empty())
        state = qtTrId("redact.state.none");
    else if (!m_paths)
        state = qtTrId("redact.state.not_followed").arg(m_plan.boxes.size());
    else if (lost.empty())
        state = qtTrId("redact.state.followed").arg(m_plan.boxes.size());
    else
        state = qtTrId("redact.state.lost").arg(m_plan.boxes.size()).arg(lost.size()).arg(double(lost.front()) / kRedactionRate, 0, 'f', 2);
    m_state->setText(state);
}

void ZLXRedactionEditor::changed() {
    m_paths.reset();
    holdBoxes();
    emit planChanged();
    refresh();
}

void ZLXRedactionEditor::addBox(const ZLXBoxRect& rect) {
    ZLXRedactionBox box;
    box.channel = m_channel;
    box.keys = {{moment(), rect}};
    m_plan.boxes.push_back(box);
    m_selected = m_plan.boxes.size() - 1;
    changed();
}

void ZLXRedactionEditor::moveBox(size_t index, const ZLXBoxRect& rect) {
    if (index >= m_plan.boxes.size())
        return;
    // a correction: a new key at this moment, or the key of this frame moved
    auto& keys = m_plan.boxes[index].keys;
    const int64_t frames = redactionFrames(m_channels.bounds.length), here = m_slider->value();
    auto same = std::find_if(keys.begin(), keys.end(), [&](const ZLXRedactionKey& k) { return frameOf(k.t, frames) == here; });
    if (same != keys.end())
        *same = {moment(), rect};
    else
        keys.insert(std::upper_bound(keys.begin(), keys.end(), moment(),
                                     [](double t, const ZLXRedactionKey& k) { return t < k.t; }),
                    {moment(), rect});
    m_selected = index;
    changed();
}

void ZLXRedactionEditor::endSelected() {
    if (!m_selected || *m_selected >= m_plan.boxes.size())
        return;
    auto& keys = m_plan.boxes[*m_selected].keys;
    // what follows this moment is dropped: the box ends here
    keys.erase(std::remove_if(keys.begin(), keys.end(), [&](const ZLXRedactionKey& k) { return k.t >= moment(); }),
               keys.end());
    if (keys.empty()) {
        deleteSelected();
        return;
    }
    keys.push_back({moment(), {}, true});
    changed();
}

void ZLXRedactionEditor::deleteSelected() {
    if (!m_selected || *m_selected >= m_plan.boxes.size())
        return;
    m_plan.boxes.erase(m_plan.boxes.begin() + qsizetype(*m_selected));
    m_selected.reset();
    changed();
}

void ZLXRedactionEditor::suggest() {
    const QImage picture = m_picture.convertToFormat(QImage::Format_BGR888);
    if (picture.isNull())
        return;
    const cv::Mat mat(picture.height(), picture.width(), CV_8UC3, const_cast<uchar*>(picture.constBits()),
                      size_t(picture.bytesPerLine()));
    std::string error;
    std::vector<ZLXSuggestion> found = suggestBoxes(mat, defaultCascadeFolder(), &error);
    // in the recording's pixels
    const double scale = double(sourceSize().width) / std::max(1, picture.width());
    for (ZLXSuggestion& s : found)
        s.rect = {s.rect.x * scale, s.rect.y * scale, s.rect.w * scale, s.rect.h * scale};
    m_suggestions = found;
    m_view->setSuggestions(found);
    if (!error.empty())
        m_state->setText(QString::fromStdString(error));
    else
        m_state->setText(found.empty() ? qtTrId("redact.suggest.none") : qtTrId("redact.suggest.found").arg(found.size()));
}

bool ZLXRedactionEditor::follow() {
    QString error;
    auto paths = followWithProgress(this, m_plan, m_channels, &error);
    if (!paths) {
        if (!error.isEmpty())
            QMessageBox::warning(this, windowTitle(), error);
        return false;
    }
    m_paths = std::move(paths);
    refresh();
    return true;
}

void ZLXRedactionEditor::nextLost() {
    if (!m_paths)
        return;
    const std::vector<int64_t> lost = m_paths->lostFrames();
    const auto next = std::upper_bound(lost.begin(), lost.end(), int64_t(m_slider->value()));
    m_slider->setValue(int(next != lost.end() ? *next : lost.front()));
}

void ZLXRedactionEditor::saveBoxes() {
    const QString path = QFileDialog::getSaveFileName(this, qtTrId("redact.save"), QStringLiteral("boxes.json"),
                                                      qtTrId("redact.filter"));
    if (path.isEmpty())
        return;
    std::vector<std::string> sources;
    for (const auto* pieces : {&m_channels.front, &m_channels.rear})
        for (const ZLXChannelPiece& piece : *pieces)
            if (!piece.path.empty())
                sources.push_back(piece.path);
    if (const auto why = outputRefusal(QFile::encodeName(path).toStdString(), sources, true)) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(*why));
        return;
    }
    QSaveFile file(path); // whole or not at all
    const std::string text = redactionJson(m_plan);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), qint64(text.size())) != qint64(text.size()) ||
        !file.commit())
        QMessageBox::warning(this, windowTitle(), qtTrId("redact.save_failed").arg(path, file.errorString()));
}

void ZLXRedactionEditor::openBoxes() {
    const QString path = QFileDialog::getOpenFileName(this, qtTrId("redact.open"), QString(), qtTrId("redact.filter"));
    if (path.isEmpty())
        return;
    QFile file;
    const int fd = openRegularFile(QFile::encodeName(path).toStdString());
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        QMessageBox::warning(this, windowTitle(),
                             qtTrId("redact.open_failed").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    const ZLXRedactionParse parsed = parseRedaction(file.read(16 << 20 | 1).toStdString(), m_channels.bounds);
    if (!parsed.plan) {
        QMessageBox::warning(this, windowTitle(), qtTrId("redact.open_failed").arg(path, QString::fromStdString(parsed.error)));
        return;
    }
    m_plan = *parsed.plan;
    m_style->setCurrentIndex(m_plan.style == ZLXRedactionStyle::Pixelate ? 1 : 0);
    m_selected.reset();
    changed();
}

std::optional<ZLXRedactionPaths> followWithProgress(QWidget* parent, const ZLXRedactionPlan& plan,
                                                    const ZLXClipChannels& channels, QString* error) {
    QProgressDialog progress(qtTrId("redact.following"), qtTrId("clip.cancel"), 0, 1000, parent);
    progress.setObjectName(QStringLiteral("redactProgress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setValue(0);
    auto stop = std::make_shared<std::atomic<bool>>(false);
    QProgressDialog* shown = &progress; // outlives the work: the loop below waits for it
    QObject::connect(&progress, &QProgressDialog::canceled, [stop] { *stop = true; });
    QFutureWatcher<ZLXFollowResult> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcher<ZLXFollowResult>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([plan, channels, stop, shown] {
        const auto front = ffmpegFrames(channels.front, channels.bounds.front);
        const auto rear = channels.rear.empty() ? nullptr : ffmpegFrames(channels.rear, channels.bounds.rear);
        return followBoxes(plan, channels.bounds.length, front.get(), rear.get(), [stop, shown](double fraction) {
            QMetaObject::invokeMethod(shown, [shown, fraction] { shown->setValue(int(fraction * 1000)); },
                                      Qt::QueuedConnection);
            return !*stop;
        });
    }));
    loop.exec();
    const ZLXFollowResult result = watcher.result();
    if (!result.paths && error)
        *error = *stop ? QString() : QString::fromStdString(result.error);
    return result.paths;
}

} // namespace daxo
