// SPDX-License-Identifier: GPL-3.0-or-later
// A file's bytes, for comparing what a window wrote.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace daxo::test {

// Everything the file holds; empty when it cannot be read.
inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace daxo::test
