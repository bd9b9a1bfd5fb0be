// SPDX-License-Identifier: GPL-3.0-or-later
// The range slider on screen: the black track and one 13 × 17 knob per handle of its model.
// The mouse drags a knob; a knob takes the keyboard focus (Tab) and the arrow keys move it by
// a hundredth of the track; each knob is named for assistive tools by its handle's name.
#pragma once

#include <QWidget>

namespace daxo {

class VMMultiHandleSlider;

class VMMultiHandleSliderWidget : public QWidget {
    Q_OBJECT
public:
    explicit VMMultiHandleSliderWidget(VMMultiHandleSlider* model, QWidget* parent = nullptr);

    // The knobs go where the model says (after a change made elsewhere).
    void placeKnobs();
    // Pointer events, in this widget's coordinates (the knobs hand theirs on).
    void press(QPoint at);
    void drag(QPoint at);
    void release();
    // Moves a handle by `hundredths` of the track.
    void nudge(const QString& handle, int hundredths);

    QSize sizeHint() const override { return {300, 24}; }

signals:
    // A handle moved (by the user).
    void moved();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    VMMultiHandleSlider* m_model;
};

} // namespace daxo
