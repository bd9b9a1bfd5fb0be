// SPDX-License-Identifier: GPL-3.0-or-later
// The recording table: one row per record of the media list, four columns. The file name is
// what a driver reads, so the others are short: the mode is its picture (the text where a
// record has none), the date has no year; their tooltips say them whole, the name's its path.
#pragma once

#include "library/ZLXMediaList.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QStringList>
#include <vector>

namespace daxo {

class ZLXMediaTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ZLXMediaTableModel(const ZLXMediaList& list, QObject* parent = nullptr);

    // Takes the list's current records; the table reads only this copy, so it never sees a
    // list in the middle of a change.
    void reload();

    const QStringList& columnNames() const { return m_columnNames; }
    const QFont& cellFont() const { return m_cellFont; }
    ZLXMediaList::MediaPtr mediaAtRow(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const ZLXMediaList& m_list;
    std::vector<ZLXMediaList::MediaPtr> m_rows;
    QStringList m_columnNames;
    QFont m_cellFont;
};

} // namespace daxo
