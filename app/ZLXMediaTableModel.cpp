// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ZLXMediaTableModel.h"

#include "widgets/ZLXImages.h"
#include "presentation/ZLXMediaTableText.h"

#include <QFontDatabase>

namespace daxo {
namespace {

Qt::Alignment columnAlignment(int column) {
    return (kMediaTableColumns[static_cast<size_t>(column)].centred ? Qt::AlignHCenter
                                                                    : Qt::AlignLeft) |
           Qt::AlignVCenter;
}

} // namespace

ZLXMediaTableModel::ZLXMediaTableModel(const ZLXMediaList& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list),
      m_cellFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont)) {
    // 11 points of the desktop the table was drawn for: 11 device-independent pixels.
    m_cellFont.setPixelSize(11);
    for (const auto& column : kMediaTableColumns)
        m_columnNames << qtTrId(column.titleKey);
}

void ZLXMediaTableModel::reload() {
    beginResetModel();
    m_rows = m_list.medias();
    endResetModel();
}

ZLXMediaList::MediaPtr ZLXMediaTableModel::mediaAtRow(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return nullptr;
    return m_rows[static_cast<size_t>(row)];
}

int ZLXMediaTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ZLXMediaTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kMediaTableColumns.size());
}

QVariant ZLXMediaTableModel::data(const QModelIndex& index, int role) const {
    const auto media = mediaAtRow(index.row());
    if (!media || index.column() < 0 || index.column() >= columnCount())
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case 0:
            return mediaModeImageName(*media) ? QString() : qtTrId(mediaModeKey(*media));
        case 1:
            return QString::fromStdString(mediaDateText(*media, true));
        case 2:
            return QString::fromStdString(mediaTimeText(*media));
        default:
            return QString::fromStdString(media->fileName());
        }
    case Qt::DecorationRole:
        if (column == 0) {
            if (const auto image = mediaModeImageName(*media))
                return namedImage(QString::fromStdString(*image));
        }
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(columnAlignment(column));
    case Qt::FontRole:
        return m_cellFont;
    case Qt::ToolTipRole:
        if (column == 0)
            return qtTrId(mediaModeKey(*media));
        if (column == 1)
            return QString::fromStdString(mediaDateText(*media));
        return QString::fromStdString(media->path());
    default:
        return {};
    }
}

QVariant ZLXMediaTableModel::headerData(int section, Qt::Orientation orientation,
                                        int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return m_columnNames.at(section);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(columnAlignment(section));
    case Qt::UserRole: // the column's tag
        return section;
    default:
        return {};
    }
}

} // namespace daxo
