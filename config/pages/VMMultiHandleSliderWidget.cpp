// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/pages/VMMultiHandleSliderWidget.h"

#include "config/pages/VMMultiHandleSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace daxo {
namespace {

class Knob : public QWidget {
public:
    Knob(const QString& name, VMMultiHandleSliderWidget* slider) : QWidget(slider), m_slider(slider) {
        setObjectName(name);
        setAccessibleName(name);
        setFixedSize(int(VMMultiHandleSlider::kKnobWidth), int(VMMultiHandleSlider::kKnobHeight));
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::SizeHorCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(hasFocus() ? QPen(palette().highlight().color(), 2) : QPen(Qt::black));
        p.setBrush(QColor(40, 40, 44));
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 3, 3);
        p.setPen(QColor(200, 200, 200));
        p.drawLine(QPointF(width() / 2.0, 4), QPointF(width() / 2.0, height() - 4));
    }
    void mousePressEvent(QMouseEvent* e) override { m_slider->press(mapToParent(e->position().toPoint())); }
    void mouseMoveEvent(QMouseEvent* e) override { m_slider->drag(mapToParent(e->position().toPoint())); }
    void mouseReleaseEvent(QMouseEvent*) override { m_slider->release(); }
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Left || e->key() == Qt::Key_Down)
            m_slider->nudge(objectName(), -1);
        else if (e->key() == Qt::Key_Right || e->key() == Qt::Key_Up)
            m_slider->nudge(objectName(), +1);
        else
            QWidget::keyPressEvent(e);
    }
    void focusInEvent(QFocusEvent* e) override {
        update();
        QWidget::focusInEvent(e);
    }
    void focusOutEvent(QFocusEvent* e) override {
        update();
        QWidget::focusOutEvent(e);
    }

private:
    VMMultiHandleSliderWidget* m_slider;
};

} // namespace

VMMultiHandleSliderWidget::VMMultiHandleSliderWidget(VMMultiHandleSlider* model, QWidget* parent)
    : QWidget(parent), m_model(model) {
    setMinimumHeight(int(VMMultiHandleSlider::kKnobHeight) + 6);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Knobs from left to right, so that Tab goes along the track.
    std::vector<const VMSliderHandle*> order;
    for (const VMSliderHandle& h : m_model->handles())
        order.push_back(&h);
    std::sort(order.begin(), order.end(), [](auto* a, auto* b) { return a->curRatio < b->curRatio; });
    for (const VMSliderHandle* h : order)
        new Knob(QString::fromStdString(h->name), this);
    placeKnobs();
}

void VMMultiHandleSliderWidget::placeKnobs() {
    if (m_model->width() != width())
        m_model->setWidth(width()); // the knobs keep their ratios on the track as it is now
    const int top = (height() - int(VMMultiHandleSlider::kKnobHeight)) / 2;
    for (const VMSliderHandle& h : m_model->handles()) {
        if (auto* knob = findChild<QWidget*>(QString::fromStdString(h.name)))
            knob->move(int(std::lround(h.knobX)), top);
    }
    update();
}

void VMMultiHandleSliderWidget::press(QPoint at) {
    placeKnobs();
    m_model->mouseDown(at.x(), at.y(), height());
}

void VMMultiHandleSliderWidget::drag(QPoint at) {
    if (!m_model->isDragging())
        return;
    m_model->mouseDragged(at.x());
    placeKnobs();
    emit moved();
}

void VMMultiHandleSliderWidget::release() {
    m_model->mouseUp();
}

void VMMultiHandleSliderWidget::nudge(const QString& name, int hundredths) {
    const VMSliderHandle* h = m_model->handle(name.toStdString());
    if (!h)
        return;
    m_model->setValue(h->name, h->curValue() + 0.01f * float(hundredths));
    placeKnobs();
    emit moved();
}

void VMMultiHandleSliderWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const double half = VMMultiHandleSlider::kKnobWidth / 2;
    p.fillRect(QRectF(half, height() / 2.0 - 2, width() - VMMultiHandleSlider::kKnobWidth, 4), Qt::black);
}

void VMMultiHandleSliderWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeKnobs();
}

void VMMultiHandleSliderWidget::mousePressEvent(QMouseEvent* e) {
    press(e->position().toPoint());
}

void VMMultiHandleSliderWidget::mouseMoveEvent(QMouseEvent* e) {
    drag(e->position().toPoint());
}

void VMMultiHandleSliderWidget::mouseReleaseEvent(QMouseEvent*) {
    release();
}

} // namespace daxo
