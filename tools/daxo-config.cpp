// SPDX-License-Identifier: GPL-3.0-or-later
// daxo-config show FILE                  every field of a config.bin as JSON, in declared order
// daxo-config defaults FILE              writes a default config.bin
// daxo-config set FILE field=value ...   changes fields, finalises and saves
#include "config/filedata/ZLXFileData.h"
#include "library/ZLXFileIO.h"
#include "library/ZLXLog.h"
#include "config/pages/ZLXPageModel.h"
#include "tools/ZLXToolLog.h"

#include <QCoreApplication>
#include <QTranslator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <limits>
#include <unistd.h>

using namespace daxo;
using Kind = ZLXFileDataField::Kind;

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "daxo-config: %s\n", qPrintable(message));
    return 1;
}

const char* typeName(const ZLXFileDataField& f) {
    switch (f.kind) {
    case Kind::U8: return "u8";
    case Kind::U16: return "u16";
    case Kind::U32: return "u32";
    case Kind::I32: return "i32";
    case Kind::F32: return "f32";
    case Kind::Text: return f.size == 8 ? "char[8]" : "char[16]";
    case Kind::U32Array: return "u32[8]";
    }
    return "";
}

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

QJsonValue fieldValue(const ZLXFileDataField& f, const uint8_t* bytes) {
    const uint8_t* p = bytes + f.offset;
    switch (f.kind) {
    case Kind::U8: return int(p[0]);
    case Kind::U16: return int(p[0] | p[1] << 8);
    case Kind::U32: return double(le32(p));
    case Kind::I32: return int(int32_t(le32(p)));
    case Kind::F32: {
        const uint32_t bits = le32(p);
        float v;
        std::memcpy(&v, &bits, 4);
        return double(v);
    }
    case Kind::Text: {
        QByteArray text(reinterpret_cast<const char*>(p), qsizetype(f.size));
        const qsizetype nul = text.indexOf('\0');
        if (nul >= 0)
            text.truncate(nul);
        return QString::fromLatin1(text);
    }
    case Kind::U32Array: {
        QJsonArray words;
        for (size_t i = 0; i < f.size / 4; ++i)
            words.append(double(le32(p + 4 * i)));
        return words;
    }
    }
    return {};
}

// The file as it is on disk: exactly 500 bytes with model number 34.
bool readConfig(const QString& path, uint8_t (&bytes)[kFileDataSize], QString* error) {
    // never waits on a FIFO, never reads a device
    const int fd = openRegularFile(QFile::encodeName(path).constData());
    if (fd < 0) {
        *error = errno == EINVAL ? QStringLiteral("%1 is not a regular file").arg(path)
                                 : QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    QByteArray data(kFileDataSize + 1, '\0');
    data.resize(qsizetype(readFullyAt(fd, 0, data.data(), size_t(data.size()))));
    ::close(fd);
    if (data.size() != qsizetype(kFileDataSize)) {
        *error = QStringLiteral("%1 is %2 bytes, not %3").arg(path).arg(QFileInfo(path).size()).arg(kFileDataSize);
        return false;
    }
    std::memcpy(bytes, data.constData(), kFileDataSize);
    if (le32(bytes + 4) != kModelNumber) {
        *error = QStringLiteral("%1 has model number %2, not %3").arg(path).arg(le32(bytes + 4)).arg(kModelNumber);
        return false;
    }
    return true;
}

int show(const QString& path) {
    uint8_t bytes[kFileDataSize];
    QString error;
    if (!readConfig(path, bytes, &error))
        return fail(error);
    _FILEDATA record{};
    decodeFileData(bytes, record);
    QJsonArray fields;
    for (const auto& f : fileDataFields()) {
        fields.append(QJsonObject{{"name", f.name}, {"offset", int(f.offset)}, {"type", typeName(f)},
                                  {"value", fieldValue(f, bytes)}});
    }
    const QJsonObject root{{"file", path},
                           {"modelNum", double(record.modelNum)},
                           {"checksum", int(record.checksum)},
                           {"checksumValid", record.checksum == fileDataChecksum(record)},
                           {"fields", fields}};
    std::fputs(QJsonDocument(root).toJson(QJsonDocument::Indented).constData(), stdout);
    return 0;
}

// Writes one value into the field's bytes; false with a reason when it does not fit the type.
bool assign(const ZLXFileDataField& f, const QString& text, uint8_t* bytes, QString* error) {
    uint8_t* p = bytes + f.offset;
    auto put32 = [p](uint32_t v) {
        for (int k = 0; k < 4; ++k)
            p[k] = uint8_t(v >> (8 * k));
    };
    bool ok = false;
    switch (f.kind) {
    case Kind::U8:
    case Kind::U16:
    case Kind::U32: {
        const qulonglong v = text.toULongLong(&ok, 0);
        const qulonglong max = f.kind == Kind::U8 ? 0xFF : f.kind == Kind::U16 ? 0xFFFF : 0xFFFFFFFFull;
        if (!ok || v > max || text.trimmed().startsWith('-')) {
            *error = QStringLiteral("%1 takes a whole number from 0 to %2").arg(f.name).arg(max);
            return false;
        }
        if (f.kind == Kind::U8)
            p[0] = uint8_t(v);
        else if (f.kind == Kind::U16)
            p[0] = uint8_t(v), p[1] = uint8_t(v >> 8);
        else
            put32(uint32_t(v));
        return true;
    }
    case Kind::I32: {
        const qlonglong v = text.toLongLong(&ok, 0);
        if (!ok || v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
            *error = QStringLiteral("%1 takes a whole number from -2147483648 to 2147483647").arg(f.name);
            return false;
        }
        put32(uint32_t(int32_t(v)));
        return true;
    }
    case Kind::F32: {
        const double v = text.toDouble(&ok);
        if (!ok || !std::isfinite(v) || std::fabs(v) > double(std::numeric_limits<float>::max())) {
            *error = QStringLiteral("%1 takes a number").arg(f.name);
            return false;
        }
        const float single = float(v);
        uint32_t bits;
        std::memcpy(&bits, &single, 4);
        put32(bits);
        return true;
    }
    case Kind::Text: {
        const QByteArray latin = text.toLatin1();
        bool printable = true;
        for (char c : latin)
            printable = printable && c >= 0x20 && c < 0x7F;
        if (!printable || text != QString::fromLatin1(latin) || size_t(latin.size()) > f.size) {
            *error = QStringLiteral("%1 takes at most %2 printable ASCII characters").arg(f.name).arg(f.size);
            return false;
        }
        std::memset(p, 0, f.size);
        std::memcpy(p, latin.constData(), size_t(latin.size()));
        return true;
    }
    case Kind::U32Array:
        break;
    }
    *error = QStringLiteral("%1 is reserved and cannot be set").arg(f.name);
    return false;
}

int set(const QString& path, QStringList assignments) {
    // --raw: any value that fits the field, for service use; otherwise what the settings
    // window would refuse is refused, with its message.
    const bool raw = assignments.removeAll(QStringLiteral("--raw")) > 0;
    uint8_t bytes[kFileDataSize];
    QString error;
    if (!readConfig(path, bytes, &error))
        return fail(error);
    if (assignments.isEmpty())
        return fail(QStringLiteral("nothing to set: give field=value"));
    std::vector<std::string> changed;
    for (const QString& assignment : assignments) {
        const qsizetype eq = assignment.indexOf('=');
        if (eq <= 0)
            return fail(QStringLiteral("expected field=value, not \"%1\"").arg(assignment));
        const QByteArray name = assignment.left(eq).toLatin1();
        const ZLXFileDataField* field = findFileDataField(name.toStdString());
        if (!field)
            return fail(QStringLiteral("unknown field \"%1\"").arg(QString::fromLatin1(name)));
        if (field->kind == Kind::U16 && (std::strcmp(field->name, "checksum") == 0))
            return fail(QStringLiteral("checksum is computed on every save"));
        if (!assign(*field, assignment.mid(eq + 1), bytes, &error))
            return fail(error);
        changed.emplace_back(field->name);
    }
    _FILEDATA record{};
    decodeFileData(bytes, record);
    for (const std::string& name : changed) {
        if (const auto message = raw ? std::nullopt : checkSettingField(record, name)) {
            QString text = qtTrId(message->key.c_str());
            for (double argument : message->arguments)
                text = text.arg(argument);
            if (!message->text.empty())
                text = text.arg(QString::fromStdString(message->text));
            return fail(QStringLiteral("%1: %2 (--raw writes it all the same)").arg(QString::fromStdString(name), text));
        }
    }
    FinalizeFileData(&record);
    if (const auto key = SaveFileData(&record, QFile::encodeName(path).toStdString()))
        return fail(QStringLiteral("cannot write %1").arg(path));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> raw(argv + 1, argv + argc);
    setUpToolLog("daxo-config", raw);
    QCoreApplication app(argc, argv);
    std::signal(SIGXFSZ, SIG_IGN); // a write beyond the size limit fails, and the save cleans up
    QTranslator texts; // the settings window's messages, in English
    if (texts.load(QStringLiteral(":/i18n/InfoPlist_en")))
        QCoreApplication::installTranslator(&texts);
    QStringList args = app.arguments().mid(1);
    args.removeAll(QStringLiteral("--verbose"));
    if (args.size() == 2 && args[0] == "show")
        return show(args[1]);
    if (args.size() == 2 && args[0] == "defaults") {
        if (SaveDefaultFileData(QFile::encodeName(args[1]).toStdString()))
            return fail(QStringLiteral("cannot write %1").arg(args[1]));
        return 0;
    }
    if (args.size() >= 2 && args[0] == "set")
        return set(args[1], args.mid(2));
    const bool help = args.size() == 1 && (args[0] == "--help" || args[0] == "-h");
    std::fprintf(help ? stdout : stderr, "usage: daxo-config show FILE                  the fields as JSON\n"
                                         "       daxo-config defaults FILE              writes the camera's defaults\n"
                                         "       daxo-config set FILE field=value ...   changes fields, checksum and all\n"
                                         "         (values the settings window would refuse are refused; --raw writes them)\n");
    return help ? 0 : 2;
}
