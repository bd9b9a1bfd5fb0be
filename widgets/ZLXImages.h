// SPDX-License-Identifier: GPL-3.0-or-later
// Named images of the application's resources.
#pragma once

#include <QPixmap>
#include <QString>

namespace daxo {

// The image of that name ("car_front_alwa", "record_p.png"); a null pixmap when there is none.
QPixmap namedImage(const QString& name);

} // namespace daxo
