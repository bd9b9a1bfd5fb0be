// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/pages/VMMultiHandleSlider.h"

#include <algorithm>
#include <cmath>

namespace daxo {

void VMMultiHandleSlider::addHandle(const std::string& name, float initRatio, std::function<float(float)> valueBlock,
                                    std::function<float(float)> invValueBlock) {
    VMSliderHandle h;
    h.name = name;
    h.curRatio = initRatio;
    h.valueBlock = std::move(valueBlock);
    h.invValueBlock = std::move(invValueBlock);
    h.knobX = double(initRatio) * trackLength();
    m_values[name] = h.curValue();
    m_handles.push_back(std::move(h));
}

VMSliderHandle* VMMultiHandleSlider::find(const std::string& name) {
    for (VMSliderHandle& h : m_handles) {
        if (h.name == name)
            return &h;
    }
    return nullptr;
}

const VMSliderHandle* VMMultiHandleSlider::handle(const std::string& name) const {
    return const_cast<VMMultiHandleSlider*>(this)->find(name);
}

void VMMultiHandleSlider::setWidth(double width) {
    m_width = width;
    for (VMSliderHandle& h : m_handles)
        h.knobX = double(h.curRatio) * trackLength();
}

std::pair<double, double> VMMultiHandleSlider::boundaryForHandle(const std::string& name) const {
    const VMSliderHandle* me = handle(name);
    double left = 0, right = m_width;
    if (!me)
        return {left, right};
    const double myLeft = me->knobX, myRight = me->knobX + kKnobWidth;
    for (const VMSliderHandle& other : m_handles) {
        if (&other == me)
            continue;
        const double otherLeft = other.knobX, otherRight = other.knobX + kKnobWidth;
        // Only a knob wholly on one side limits this one; overlapping knobs do not.
        if (otherRight <= myLeft)
            left = std::max(left, otherRight);
        else if (otherLeft >= myRight)
            right = std::min(right, otherLeft);
    }
    return {left, right};
}

void VMMultiHandleSlider::mouseDown(double x, double y, double height) {
    const double top = (height - kKnobHeight) / 2;
    for (size_t i = 0; i < m_handles.size(); ++i) {
        const VMSliderHandle& h = m_handles[i];
        if (x >= h.knobX && x < h.knobX + kKnobWidth && y >= top && y < top + kKnobHeight) {
            m_active = i;
            m_activeBoundary = boundaryForHandle(h.name);
            m_lastValue = h.curRatio;
            return;
        }
    }
}

void VMMultiHandleSlider::mouseDragged(double x) {
    if (!m_active)
        return;
    VMSliderHandle& h = m_handles[*m_active];
    const double half = kKnobWidth / 2;
    double c = x;
    if (c - half < m_activeBoundary.first)
        c = m_activeBoundary.first + half;
    if (m_activeBoundary.second < c + half)
        c = m_activeBoundary.second - half;
    h.knobX = c - half;
    h.curRatio = float((c - half) / trackLength());
    if (std::fabs(h.curRatio - m_lastValue) > kEpsilon && m_valueChanged) {
        m_lastValue = h.curRatio;
        for (const VMSliderHandle& each : m_handles) {
            if (std::fabs(m_values[each.name] - each.curValue()) > kEpsilon)
                m_values[each.name] = each.curValue();
        }
        m_valueChanged(m_values);
    }
}

void VMMultiHandleSlider::mouseUp() {
    m_active.reset();
    m_activeBoundary = {0, 0};
}

void VMMultiHandleSlider::setValues(const Values& values) {
    const double length = trackLength();
    if (length <= 0)
        return;
    for (const auto& [name, value] : values) {
        if (VMSliderHandle* h = find(name); h && !std::isnan(value)) {
            h->curRatio = h->ratioForValue(value);
            h->knobX = double(h->curRatio) * length;
        }
    }
    for (const auto& [name, value] : values)
        setValue(name, value); // now each within its neighbours' new places
    for (const VMSliderHandle& h : m_handles)
        m_values[h.name] = h.curValue();
}

void VMMultiHandleSlider::setValue(const std::string& name, float value) {
    VMSliderHandle* h = find(name);
    if (!h || std::isnan(value))
        return;
    const double length = trackLength();
    if (length <= 0)
        return;
    const auto [lo, hi] = boundaryForHandle(name);
    // Within the neighbours: the knob's left edge at or right of `lo`, its right edge at or
    // left of `hi`; a knob set from outside stands where a drag to the same ratio puts it.
    float r = h->ratioForValue(value);
    r = std::min(std::max(float(lo / length), r), float((hi - kKnobWidth) / length));
    if (std::fabs(r - h->curRatio) <= kEpsilon)
        return;
    h->curRatio = r;
    h->knobX = double(r) * length;
    m_values[name] = h->curValue();
    if (m_valueChanged)
        m_valueChanged(m_values);
}

} // namespace daxo
