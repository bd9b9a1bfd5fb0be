// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ZLXImages.h"

#include <QFile>
#include <QPixmapCache>

namespace daxo {

QPixmap namedImage(const QString& name) {
    QPixmap pixmap;
    if (QPixmapCache::find(name, &pixmap))
        return pixmap;
    QString file = QStringLiteral(":/images/") + name;
    if (!name.endsWith(QLatin1String(".png")))
        file += QStringLiteral(".png");
    if (QFile::exists(file) && pixmap.load(file))
        QPixmapCache::insert(name, pixmap);
    return pixmap;
}

} // namespace daxo
