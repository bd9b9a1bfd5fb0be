// SPDX-License-Identifier: GPL-3.0-or-later
// The table row of a recording, by its file name.
#pragma once

#include "library/ZLXMediaList.h"

#include <QString>

namespace daxo::test {

inline int rowOfFile(const ZLXMediaList& list, const QString& fileName) {
    const auto& medias = list.medias();
    for (size_t i = 0; i < medias.size(); ++i) {
        if (QString::fromStdString(medias[i]->fileName()) == fileName)
            return int(i);
    }
    return -1;
}

} // namespace daxo::test
