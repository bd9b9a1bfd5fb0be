// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-drvlog FILE   the camera's drive-information log as CSV on stdout, the same table the
//                    settings window shows and exports
#include "ZLXFlashDataLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QTranslator>
#include <cstdio>

using namespace daxo;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTranslator texts; // the column titles, in English
    if (texts.load(QStringLiteral(":/i18n/InfoPlist_en")))
        QCoreApplication::installTranslator(&texts);
    if (argc != 2) {
        std::fprintf(stderr, "usage: daxo-drvlog FILE\n");
        return 2;
    }
    const auto log = readFlashDataFile(argv[1]);
    if (!log) {
        std::fprintf(stderr, "daxo-drvlog: cannot read %s\n", argv[1]);
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
