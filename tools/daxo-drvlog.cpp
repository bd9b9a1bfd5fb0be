// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-drvlog FILE   the camera's drive-information log as CSV on stdout, the same table the
//                    settings window shows and exports
#include "config/pages/ZLXFlashDataLog.h"
#include "tools/ZLXToolLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QTranslator>
#include <cstdio>
#include <string>
#include <vector>

using namespace daxo;

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    daxo::setUpToolLog("daxo-drvlog", args);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs("usage: daxo-drvlog FILE\n"
                   "Prints the camera's drive-information log (DrvInfo/daxo_000.drv) as CSV, one row a moment.\n"
                   "options: --verbose  also show the diagnostics the program logs\n", stdout);
        return 0;
    }
    QCoreApplication app(argc, argv);
    QTranslator texts; // the column titles, in English
    if (texts.load(QStringLiteral(":/i18n/InfoPlist_en")))
        QCoreApplication::installTranslator(&texts);
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: daxo-drvlog FILE\n");
        return 2;
    }
    const auto log = readFlashDataFile(args[0]);
    if (!log) {
        std::fprintf(stderr, "daxo-drvlog: cannot read %s\n", args[0].c_str());
        return 1;
    }
    std::vector<std::string> titles;
    for (const ZLXFlashColumn& column : kFlashColumns)
        titles.push_back(column.localised ? qtTrId(column.title).toStdString() : column.title);
    std::string out = flashDataCsvLine(titles);
    for (size_t row = 0; row < log->records.size(); ++row)
        out += flashDataCsvLine(flashDataRow(log->records[row], row));
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (log->missing() > 0)
        std::fprintf(stderr, "daxo-drvlog: the log promises %llu records; %llu are missing from the file\n",
                     static_cast<unsigned long long>(log->declaredCount), static_cast<unsigned long long>(log->missing()));
    return std::fflush(stdout) == 0 ? 0 : 1;
}
