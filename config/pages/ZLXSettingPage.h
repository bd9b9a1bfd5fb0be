// SPDX-License-Identifier: GPL-3.0-or-later
// A settings page on screen: the widgets of its model's table (each named as the table names
// its control), kept in step with the model both ways. All that a page decides is in its
// model; this class only shows it and reports what the user does.
#pragma once

#include "config/pages/ZLXPageModel.h"
#include "config/ZLXSettingControllerDelegate.h"

#include <QHash>
#include <QPointer>
#include <QWidget>
#include <memory>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;

namespace daxo {

class TKSegmentedControl;

// The text of a table label, from the string table.
QString labelText(const ZLXLabel& label);

class ZLXSettingPage : public QWidget, public ZLXSettingControllerDelegate {
    Q_OBJECT
public:
    explicit ZLXSettingPage(std::unique_ptr<ZLXPageModel> model, QWidget* parent = nullptr);
    ~ZLXSettingPage() override;

    QWidget* view() override { return this; }
    void setFileData(_FILEDATA* fileData) override;
    bool populate() override;
    std::optional<QString> validateUserInput() override;
    void setMainController(ZLXSettingController* controller) override { m_controller = controller; }

    ZLXPageModel& model() { return *m_model; }
    // Shows the model again, after a change made for the user.
    void refresh() { showModel(); }
    // A widget below the page's controls.
    void addFooter(QWidget* footer);

private:
    void build();
    void showModel();        // model → widgets
    void userChanged(const std::string& name);
    void showNotices();

    std::unique_ptr<ZLXPageModel> m_model;
    ZLXSettingController* m_controller = nullptr;
    QHash<QString, QWidget*> m_widgets;          // by control name
    QHash<QString, QButtonGroup*> m_grids;       // the radio grids, by control name
    bool m_showing = false;                      // widgets are being set from the model
};

} // namespace daxo
