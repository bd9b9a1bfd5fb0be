// SPDX-License-Identifier: GPL-3.0-or-later
// main() for the Qt Test suites: the web engine wants shared GL contexts set before the
// application object exists, and runs without its sandbox as root.
#pragma once

#include <QApplication>
#include <QTest>
#include <unistd.h>

#define DAXO_QTEST_MAIN(TestObject)                                                          \
    int main(int argc, char** argv) {                                                        \
        if (geteuid() == 0)                                                                  \
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");                                     \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                          \
        QApplication app(argc, argv);                                                        \
        TestObject test;                                                                     \
        QTEST_SET_MAIN_SOURCE_PATH                                                           \
        return QTest::qExec(&test, argc, argv);                                              \
    }
