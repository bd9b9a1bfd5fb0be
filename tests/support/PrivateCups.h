// SPDX-License-Identifier: GPL-3.0-or-later
// A CUPS scheduler of the test's own: its socket, spool and queues in a temporary folder, the
// submitted documents kept, queues whose device is a file. It knows three document formats and
// converts none, so a queue takes exactly the format its driver names.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace daxo::test {

class PrivateCups {
public:
    // Starts cupsd; `error` says why not when it does not come up.
    bool start(QString* error) {
        if (!m_dir.isValid())
            return *error = QStringLiteral("no temporary folder"), false;
        for (const char* sub : {"spool", "tmp", "cache", "state", "log"})
            QDir(m_dir.path()).mkpath(QString::fromLatin1(sub));
        writeFile("cupsd.conf", QStringLiteral("Listen %1\nLogLevel warn\nBrowsing No\nPreserveJobFiles Yes\n"
                                               "PreserveJobHistory Yes\n<Location />\n  Order allow,deny\n  Allow all\n"
                                               "</Location>\n<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                                               "  </Limit>\n</Policy>\n")
                                    .arg(socket()));
        writeFile("cups-files.conf",
                  QStringLiteral("ServerRoot %1\nRequestRoot %1/spool\nTempDir %1/tmp\nCacheDir %1/cache\nStateDir %1/state\n"
                                 "AccessLog %1/log/access_log\nErrorLog %1/log/error_log\nPageLog %1/log/page_log\n"
                                 "FileDevice Yes\nSandboxing Relaxed\nDataDir %1/data\n")
                      .arg(m_dir.path()));
        // CUPS's own data, but for its format list
        QDir(m_dir.path()).mkpath("data/mime");
        for (const QFileInfo& entry : QDir("/usr/share/cups").entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
            if (entry.fileName() != QLatin1String("mime"))
                QFile::link(entry.absoluteFilePath(), m_dir.filePath("data/" + entry.fileName()));
        }
        writeFile("data/mime/test.types", "application/pdf pdf string(0,<25>PDF)\nimage/jpeg jpeg jpg string(0,<FFD8FF>)\n"
                                          "application/octet-stream\n");
        writeFile("data/mime/test.convs", "");
        QString cupsd = QStandardPaths::findExecutable("cupsd", {"/usr/sbin", "/sbin"});
        if (cupsd.isEmpty())
            return *error = QStringLiteral("cupsd is not installed"), false;
        m_cupsd.start(cupsd, {"-f", "-c", m_dir.filePath("cupsd.conf"), "-s", m_dir.filePath("cups-files.conf")});
        if (!m_cupsd.waitForStarted(10000))
            return *error = m_cupsd.errorString(), false;
        if (!QTest::qWaitFor([&] { return QFile::exists(socket()) || m_cupsd.state() == QProcess::NotRunning; }, 15000) ||
            m_cupsd.state() == QProcess::NotRunning)
            return *error = QStringLiteral("cupsd did not come up: ") + QString::fromLocal8Bit(m_cupsd.readAll()) + log(), false;
        qputenv("CUPS_SERVER", QFile::encodeName(socket()));
        return true;
    }
    ~PrivateCups() {
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(5000))
            m_cupsd.kill();
    }

    // A queue printing into a file, whose driver takes documents of `format` as they are.
    bool addQueue(const QString& name, const QString& format, QString* error) {
        const QString ppd = m_dir.filePath(name + ".ppd");
        writeFile(qPrintable(name + ".ppd"),
                  QStringLiteral("*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
                                 "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n*PCFileName: \"TEST.PPD\"\n"
                                 "*Manufacturer: \"Test\"\n*Product: \"(Test)\"\n*ModelName: \"Test %1\"\n"
                                 "*ShortNickName: \"Test %1\"\n*NickName: \"Test %1\"\n*PSVersion: \"(3010.000) 0\"\n"
                                 "*LanguageLevel: \"3\"\n*ColorDevice: True\n*DefaultColorSpace: RGB\n*FileSystem: False\n"
                                 "*Throughput: \"1\"\n*LandscapeOrientation: Plus90\n*TTRasterizer: Type42\n"
                                 "*cupsFilter: \"%2 0 -\"\n*OpenUI *PageSize: PickOne\n*DefaultPageSize: A4\n"
                                 "*PageSize A4: \"<</PageSize[595 842]>>setpagedevice\"\n*CloseUI: *PageSize\n"
                                 "*DefaultImageableArea: A4\n*ImageableArea A4: \"0 0 595 842\"\n"
                                 "*DefaultPaperDimension: A4\n*PaperDimension A4: \"595 842\"\n")
                      .arg(name, format));
        const QStringList args{"-h", socket(), "-p", name, "-E", "-v", "file://" + m_dir.filePath(name + ".out"), "-P", ppd};
        QProcess lpadmin;
        lpadmin.start("lpadmin", args);
        if (!lpadmin.waitForFinished(20000) || lpadmin.exitCode() != 0)
            return *error = QString::fromLocal8Bit(lpadmin.readAllStandardError()) + log(), false;
        return true;
    }

    bool removeQueue(const QString& name) {
        QProcess lpadmin;
        lpadmin.start("lpadmin", {"-h", socket(), "-x", name});
        return lpadmin.waitForFinished(20000) && lpadmin.exitCode() == 0;
    }

    QString socket() const { return m_dir.filePath("cups.sock"); }
    // The documents submitted so far, as the scheduler keeps them (d<job>-<n>).
    QStringList documents() const {
        QStringList files;
        for (const QString& name : QDir(m_dir.filePath("spool")).entryList({"d*"}, QDir::Files, QDir::Name))
            files << m_dir.filePath("spool/" + name);
        return files;
    }
    // The job's control file (its IPP attributes), beside its document.
    QByteArray control(const QString& document) const {
        QFile file(QFileInfo(document).path() + "/c" + QFileInfo(document).fileName().mid(1).section('-', 0, 0));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString log() const {
        QFile file(m_dir.filePath("log/error_log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

private:
    void writeFile(const char* name, const QString& text) {
        QFile file(m_dir.filePath(QString::fromUtf8(name)));
        if (file.open(QIODevice::WriteOnly))
            file.write(text.toUtf8());
    }

    QTemporaryDir m_dir;
    QProcess m_cupsd;
};

} // namespace daxo::test
