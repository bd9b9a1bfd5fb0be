// SPDX-License-Identifier: GPL-3.0-or-later
// A slider with named handles on one track that cannot pass each other, without its drawing:
// positions as ratios 0 to 1, values through a per-handle function, the knobs' geometry in
// the slider's coordinates (13 × 17 knobs, the track the width less one knob), and one
// callback with every handle's value after each effective move.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace daxo {

struct VMSliderHandle {
    std::string name;
    float curRatio = 0;
    std::function<float(float)> valueBlock;    // ratio → value; none: the ratio itself
    std::function<float(float)> invValueBlock; // value → ratio; none: the value itself
    double knobX = 0;                          // the knob's left edge

    float curValue() const { return valueBlock ? valueBlock(curRatio) : curRatio; }
    float ratioForValue(float value) const { return invValueBlock ? invValueBlock(value) : value; }
};

class VMMultiHandleSlider {
public:
    static constexpr double kKnobWidth = 13;
    static constexpr double kKnobHeight = 17;
    static constexpr float kEpsilon = 1.1920929e-7f;
    using Values = std::map<std::string, float>;

    explicit VMMultiHandleSlider(double width) : m_width(width) {}

    void addHandle(const std::string& name, float initRatio, std::function<float(float)> valueBlock = {},
                   std::function<float(float)> invValueBlock = {});
    void setValueChangedBlock(std::function<void(Values)> block) { m_valueChanged = std::move(block); }

    // The slider's width changed: the knobs keep their ratios.
    void setWidth(double width);
    double width() const { return m_width; }
    double trackLength() const { return m_width - kKnobWidth; }

    // Pointer events, x in the slider's coordinates; y only matters for the press.
    void mouseDown(double x, double y, double height);
    void mouseDragged(double x);
    void mouseUp();
    bool isDragging() const { return m_active.has_value(); }

    // A value stored from outside: the handle follows within its neighbours.
    void setValue(const std::string& name, float value);
    // Several handles at once: each goes where it is asked before any is held back by a
    // neighbour's old place, so the order of the values does not matter.
    void setValues(const Values& values);

    // [left limit, right limit] of a knob: the slider's ends or its neighbours' edges.
    std::pair<double, double> boundaryForHandle(const std::string& name) const;

    const std::vector<VMSliderHandle>& handles() const { return m_handles; }
    const VMSliderHandle* handle(const std::string& name) const;
    const Values& values() const { return m_values; }

private:
    VMSliderHandle* find(const std::string& name);

    double m_width;
    std::vector<VMSliderHandle> m_handles;
    Values m_values;
    std::optional<size_t> m_active;
    std::pair<double, double> m_activeBoundary{0, 0};
    float m_lastValue = 0;
    std::function<void(Values)> m_valueChanged;
};

} // namespace daxo
