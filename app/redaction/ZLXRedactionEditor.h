// SPDX-License-Identifier: GPL-3.0-or-later
// The window where the boxes of a clip's redaction are drawn: a picture of either channel at
// any moment of the clip, the boxes on it (drawn by dragging, moved by dragging, ended or
// deleted), the faces and plates the detectors suggest, the boxes followed through the clip
// with progress, and the result previewed on the picture.
#pragma once

#include "redaction/ZLXBoxTracker.h"

#include <QDialog>
#include <QImage>
#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

namespace daxo {

// The picture with its boxes; rectangles are in the recording's pixels.
class ZLXRedactionView : public QWidget {
    Q_OBJECT
public:
    explicit ZLXRedactionView(QWidget* parent = nullptr);
    struct Shown {
        ZLXBoxRect rect;
        size_t box = 0;
        bool lost = false;
    };
    void setPicture(const QImage& picture, ZLXPictureSize source);
    void setBoxes(std::vector<Shown> boxes, std::optional<size_t> selected);
    void setSuggestions(std::vector<ZLXSuggestion> suggestions);
    QSize sizeHint() const override { return {960, 540}; }
    // where the recording's pixels lie in the widget
    QRectF pictureRect() const;
    QPointF toWidget(double x, double y) const;

signals:
    void boxDrawn(const daxo::ZLXBoxRect& rect);
    void boxMoved(size_t box, const daxo::ZLXBoxRect& rect);
    void boxSelected(std::optional<size_t> box);
    void suggestionChosen(size_t index);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPointF toSource(QPointF widget) const;
    QRectF toWidget(const ZLXBoxRect& rect) const;
    QImage m_picture;
    ZLXPictureSize m_source;
    std::vector<Shown> m_boxes;
    std::vector<ZLXSuggestion> m_suggestions;
    std::optional<size_t> m_selected;
    std::optional<QPointF> m_pressed; // in the recording's pixels
    std::optional<size_t> m_moving;
    QPointF m_now;
};

class ZLXRedactionEditor : public QDialog {
    Q_OBJECT
public:
    ZLXRedactionEditor(ZLXClipChannels channels, ZLXRedactionPlan plan, QWidget* parent = nullptr);
    ~ZLXRedactionEditor() override;

    const ZLXRedactionPlan& plan() const { return m_plan; }
    // the boxes followed through the clip, while the plan has not changed since
    const std::optional<ZLXRedactionPaths>& paths() const { return m_paths; }

    ZLXRedactionView* view() const { return m_view; }
    double moment() const;
    void setMoment(double seconds);
    void setChannel(ZLXRedactionChannel channel);
    ZLXRedactionChannel channel() const { return m_channel; }
    // the boxes of the plan as they are at each frame: followed, or held where their keys are
    const ZLXRedactionPaths& shownPaths() const { return m_paths ? *m_paths : m_held; }
    bool follow(); // with progress; false when cancelled or failed (the message shown)
    void suggest();
    bool pictureLoading() const { return m_loading; }

signals:
    void pictureShown();
    void planChanged();

private:
    void addBox(const ZLXBoxRect& rect);
    void moveBox(size_t box, const ZLXBoxRect& rect);
    void endSelected();
    void deleteSelected();
    void changed();
    void holdBoxes();
    void loadPicture();
    void refresh();
    void saveBoxes();
    void openBoxes();
    void nextLost();
    const std::vector<ZLXChannelPiece>& pieces() const;
    ZLXPictureSize sourceSize() const;

    ZLXClipChannels m_channels;
    ZLXRedactionPlan m_plan;
    std::optional<ZLXRedactionPaths> m_paths;
    ZLXRedactionPaths m_held; // the plan's boxes held at their keys, made once a change
    ZLXRedactionChannel m_channel = ZLXRedactionChannel::Front;
    std::optional<size_t> m_selected;
    QImage m_picture;        // of the channel and moment shown
    std::vector<ZLXSuggestion> m_suggestions;
    bool m_loading = false;
    std::optional<std::pair<ZLXRedactionChannel, int64_t>> m_pending; // asked for while loading
    std::shared_ptr<std::atomic<bool>> m_alive;

    ZLXRedactionView* m_view = nullptr;
    QComboBox* m_channelBox = nullptr;
    QComboBox* m_style = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_time = nullptr;
    QLabel* m_state = nullptr;
    QCheckBox* m_preview = nullptr;
    QPushButton* m_end = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_nextLost = nullptr;
};

// Follows a plan's boxes through a clip in the background, with a progress window that can be
// cancelled; none when cancelled or failed (the reason in `error`).
std::optional<ZLXRedactionPaths> followWithProgress(QWidget* parent, const ZLXRedactionPlan& plan,
                                                    const ZLXClipChannels& channels, QString* error = nullptr);

} // namespace daxo
