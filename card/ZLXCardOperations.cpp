// SPDX-License-Identifier: GPL-3.0-or-later
#include "card/ZLXCardOperations.h"

#include "library/ZLXCleanup.h"
#include "library/ZLXLog.h"
#include "config/filedata/ZLXFileData.h"
#include "library/ZLXMediaList.h"
#include "card/ZLXVolumes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>
#include <cerrno>
#include <climits>
#include <cstring>
#include <QProcess>
#include <QProcessEnvironment>
#include <csignal>
#include <unistd.h>

namespace daxo {
namespace {

constexpr qint64 kLargestConfigFile = 1 << 20; // far above the camera's 500 bytes

// The disk tools live in sbin, which a user's PATH may not hold.
QString toolPath(const QString& name) {
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return path.isEmpty() ? name : path;
}

QString configPathOn(const TKUSBDiskEntity& card) {
    return QDir(QString::fromStdString(card.mountedURL())).filePath(QStringLiteral("config.bin"));
}

QString deviceOf(const TKUSBDiskEntity& card) {
    return QString::fromStdString(card.deviceFilePath());
}

ZLXCommandResult refused(const QString& why) {
    ZLXLog("format refused: %s", qUtf8Printable(why));
    return {-1, why};
}

// The card's config.bin in a new folder that only the user may enter, readable only by the
// user; the copy's path, none when the card has none, or the reason it could not be made.
struct Backup {
    std::optional<QString> path;
    std::optional<QString> error;
};
Backup storeConfigCopy(const QByteArray& bytes);

Backup saveConfigCopy(const TKUSBDiskEntity& card) {
    const QString source = configPathOn(card);
    const QFileInfo info(source);
    if (card.mountedURL().empty() || !info.exists())
        return {};
    if (!info.isFile() || info.size() > kLargestConfigFile)
        return {std::nullopt, QStringLiteral("%1 is not a settings file.").arg(source)};
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return {std::nullopt, in.errorString()};
    const QByteArray bytes = in.read(kLargestConfigFile);
    if (in.error() != QFileDevice::NoError || bytes.size() != info.size())
        return {std::nullopt, in.errorString()};
    return storeConfigCopy(bytes);
}

Backup storeConfigCopy(const QByteArray& bytes) {
    QByteArray folder = QFile::encodeName(QDir::temp().filePath(QStringLiteral("daxo-format-XXXXXX")));
    if (!::mkdtemp(folder.data())) // mode 0700
        return {std::nullopt, QString::fromLocal8Bit(strerror(errno))};
    const QString copy = QDir(QFile::decodeName(folder)).filePath(QStringLiteral("config.bin"));
    QFile out(copy);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
        !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        out.write(bytes) != bytes.size() || !out.flush()) {
        const QString why = out.errorString();
        out.remove();
        QDir().rmdir(QFile::decodeName(folder));
        return {std::nullopt, why};
    }
    return {copy, std::nullopt};
}

void removeCopy(const QString& copy) {
    QFile::remove(copy);
    QDir().rmdir(QFileInfo(copy).absolutePath());
}

bool sameBytes(const QString& a, const QString& b) {
    QFile fa(a), fb(b);
    return QFileInfo(b).isFile() && fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly) &&
           fa.read(kLargestConfigFile + 1) == fb.read(kLargestConfigFile + 1);
}

// Writes `bytes` as the card's new config.bin and reads them back.
std::optional<QString> writeBack(const QString& target, const QByteArray& bytes) {
    QFile::remove(target); // a fresh card has none; the FUSE image file system cannot truncate
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly) || out.write(bytes) != bytes.size() || !out.flush() ||
        ::fsync(out.handle()) != 0) {
        return out.errorString();
    }
    out.close();
    QFile check(target);
    if (!check.open(QIODevice::ReadOnly) || check.read(bytes.size() + 1) != bytes)
        return QStringLiteral("%1 does not read back as it was written.").arg(target);
    return std::nullopt;
}

} // namespace

QStringList cardFormatArguments(int64_t sectorsPerCluster, const QString& device) {
    return {QStringLiteral("-F"), QStringLiteral("32"), QStringLiteral("-n"), QStringLiteral("DAXO"),
            QStringLiteral("-f"), QStringLiteral("2"),  QStringLiteral("-b"), QStringLiteral("6"),
            QStringLiteral("-R"), QStringLiteral("32"), QStringLiteral("-s"), QString::number(sectorsPerCluster),
            QStringLiteral("-a"), device};
}

// ---- the computer's disks

namespace {

class SystemCardOperations : public ZLXCardOperations {
public:
    std::vector<TKUSBDiskEntity> cards() override { return usbDiskEntities(); }

    ZLXCommandResult unmount(const TKUSBDiskEntity& card) override {
        QStringList devices;
        if (card.mediaWhole()) {
            for (const auto& v : mountedVolumes()) {
                if (v.diskPath.toStdString() == card.key() && !devices.contains(v.devicePath))
                    devices << v.devicePath;
            }
        }
        if (devices.isEmpty())
            devices << deviceOf(card);
        ZLXCommandResult result;
        for (const QString& device : devices) {
            const ZLXCommandResult one = udisks({QStringLiteral("unmount"), QStringLiteral("-b"), device});
            if (!one.ok())
                result = one;
        }
        return result;
    }

    ZLXCommandResult mount(const TKUSBDiskEntity& card) override {
        return udisks({QStringLiteral("mount"), QStringLiteral("-b"), deviceOf(card)});
    }

    ZLXCommandResult format(const TKUSBDiskEntity& card, int64_t sectorsPerCluster) override {
        // The node about to be erased, with links (/dev/disk/by-id/...) followed.
        QString device = QFileInfo(deviceOf(card)).canonicalFilePath();
        if (device.isEmpty())
            return refused(QStringLiteral("%1 is gone.").arg(deviceOf(card)));
        if (const auto why = formatRefusal(lsblkOutput(), device))
            return refused(*why);
        // still mounted after the unmount (a second mount, a bind mount): erasing it would
        // leave that file system writing into the new one
        const auto points = deviceMountPoints(device.toStdString(), readMountInfo());
        if (!points.empty())
            return refused(QStringLiteral("%1 is mounted at %2; unmount it first.")
                               .arg(device, QString::fromStdString(points.front())));
        return runShellScript(toolPath(QStringLiteral("mkfs.fat")), cardFormatArguments(sectorsPerCluster, device),
                              true);
    }

private:
    static ZLXCommandResult udisks(const QStringList& arguments) {
        return runShellScript(QStringLiteral("udisksctl"), arguments + QStringList{QStringLiteral("--no-user-interaction")},
                              false);
    }
};

} // namespace

std::unique_ptr<ZLXCardOperations> makeSystemCardOperations() {
    return std::make_unique<SystemCardOperations>();
}

// ---- image files

void ZLXImageCardOperations::addImage(const QString& imagePath, const QString& mountPoint) {
    m_images.push_back({QFileInfo(imagePath).absoluteFilePath(), QFileInfo(mountPoint).absoluteFilePath()});
}

ZLXImageCardOperations::Image* ZLXImageCardOperations::imageOf(const TKUSBDiskEntity& card) {
    for (Image& image : m_images) {
        if (image.path.toStdString() == card.deviceFilePath())
            return &image;
    }
    return nullptr;
}

namespace {

bool isMountedAt(const QString& mountPoint) {
    const QStorageInfo storage(mountPoint);
    return storage.isValid() && QDir(storage.rootPath()) == QDir(mountPoint);
}

// A process that has ended (a zombie nobody reaps counts as ended).
bool hasEnded(qint64 pid) {
    if (::kill(pid_t(pid), 0) != 0)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.open(QIODevice::ReadOnly) && stat.readAll().split(')').value(1).trimmed().startsWith('Z');
}

// Waits up to ten seconds for `done`.
bool waitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 1000; ++i) {
        if (done())
            return true;
        ::usleep(10000);
    }
    return done();
}

} // namespace

std::vector<TKUSBDiskEntity> ZLXImageCardOperations::cards() {
    std::vector<TKUSBDiskEntity> cards;
    for (const Image& image : m_images) {
        const QStorageInfo storage(image.mountPoint);
        if (!isMountedAt(image.mountPoint))
            continue;
        const QString label =
            runPipeCommand(toolPath(QStringLiteral("fatlabel")), {image.path}).value_or(QString()).trimmed();
        const bool writable = ::access(QFile::encodeName(image.path).constData(), W_OK) == 0 && !storage.isReadOnly();
        const std::string path = image.path.toStdString();
        cards.emplace_back(label.toStdString(), image.mountPoint.toStdString(), path, std::string("Image file"),
                           uint64_t(QFileInfo(image.path).size()), writable, true, path);
    }
    return cards;
}

ZLXCommandResult ZLXImageCardOperations::unmount(const TKUSBDiskEntity& card) {
    Image* image = imageOf(card);
    if (!image)
        return refused(QStringLiteral("%1 is not one of the images.").arg(deviceOf(card)));
    ZLXCommandResult result = runShellScript(QStringLiteral("fusermount"), {QStringLiteral("-u"), image->mountPoint}, false);
    if (!result.ok())
        result = runShellScript(QStringLiteral("fusermount3"), {QStringLiteral("-u"), image->mountPoint}, false);
    // the image is complete only once its file system's process has written all and ended
    if (result.ok() && image->daemon > 0 && !waitFor([pid = image->daemon] { return hasEnded(pid); }))
        result = {-1, QStringLiteral("fusefat did not end after the unmount of %1").arg(image->path)};
    if (result.ok())
        image->daemon = 0;
    return result;
}

ZLXCommandResult ZLXImageCardOperations::mountImage(Image& image, const QString& mode) {
    QProcess fusefat; // in the foreground, so that its end is the end of the mount
    fusefat.setProgram(QStringLiteral("fusefat"));
    fusefat.setArguments({QStringLiteral("-f"), QStringLiteral("-o"), mode, image.path, image.mountPoint});
    fusefat.setStandardOutputFile(QProcess::nullDevice());
    fusefat.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!fusefat.startDetached(&pid))
        return {-1, QStringLiteral("fusefat cannot be started")};
    if (!waitFor([&] { return isMountedAt(image.mountPoint) || hasEnded(pid); }) || !isMountedAt(image.mountPoint))
        return {-1, QStringLiteral("fusefat could not mount %1 (%2)").arg(image.path, mode)};
    image.daemon = pid;
    ZLXLog("mounted %s at %s (%s)", qUtf8Printable(image.path), qUtf8Printable(image.mountPoint), qUtf8Printable(mode));
    return {};
}

ZLXCommandResult ZLXImageCardOperations::mount(const TKUSBDiskEntity& card) {
    Image* image = imageOf(card);
    if (!image)
        return refused(QStringLiteral("%1 is not one of the images.").arg(deviceOf(card)));
    // read-write when the file allows it, else read-only, as a locked card mounts
    const ZLXCommandResult result = mountImage(*image, QStringLiteral("rw+"));
    return result.ok() ? result : mountImage(*image, QStringLiteral("ro"));
}

ZLXCommandResult ZLXImageCardOperations::format(const TKUSBDiskEntity& card, int64_t sectorsPerCluster) {
    const Image* image = imageOf(card);
    if (!image)
        return refused(QStringLiteral("%1 is not one of the images.").arg(deviceOf(card)));
    const QFileInfo info(image->path);
    if (!info.isFile() || info.isSymLink())
        return refused(QStringLiteral("%1 is not an image file.").arg(image->path));
    if (const auto users = imageFileUsers(QFile::encodeName(image->path).toStdString()); !users.empty())
        return refused(QStringLiteral("%1 is in use: %2.").arg(image->path, QString::fromStdString(users.front())));
    return runShellScript(toolPath(QStringLiteral("mkfs.fat")), cardFormatArguments(sectorsPerCluster, image->path),
                          false);
}

// ---- one format

ZLXFormatResult runCardFormat(ZLXCardOperations& operations, const TKUSBDiskEntity& card,
                              const std::function<void(const QString&)>& status) {
    ZLXFormatResult result;
    const int64_t sectors = clusterSizeByVolumeSizeInKB(card.volumeSize());
    if (const auto why = fat32SizeRefusal(card.volumeSize(), sectors)) {
        result.error = refused(QString::fromStdString(*why));
        return result;
    }
    Backup backup = saveConfigCopy(card);
    if (backup.error) {
        // Erasing now would lose the driver's settings: nothing is run.
        result.error = {-1, QStringLiteral("config.bin copy fail: %1").arg(*backup.error)};
        return result;
    }
    result.savedConfig = backup.path;
    status(QStringLiteral("unmount disk..."));
    operations.unmount(card); // a failure shows in the format's own
    status(QStringLiteral("formatting..."));
    const ZLXCommandResult formatted = operations.format(card, sectors);
    if (!formatted.ok()) {
        operations.mount(card);
        // The card most likely still holds its settings; the copy is kept only when not.
        if (result.savedConfig && sameBytes(*result.savedConfig, configPathOn(card))) {
            removeCopy(*result.savedConfig);
            result.savedConfig.reset();
        }
        result.outcome = ZLXFormatResult::Outcome::Failed;
        result.error = formatted;
        return result;
    }
    status(QStringLiteral("try mount..."));
    operations.mount(card);
    status(QStringLiteral("Format completed!"));
    result.outcome = ZLXFormatResult::Outcome::Formatted;
    return result;
}

std::optional<QString> restoreConfigFile(const TKUSBDiskEntity& card, const std::optional<QString>& savedConfig) {
    if (card.mountedURL().empty())
        return QStringLiteral("%1 is not mounted.").arg(deviceOf(card));
    const QString target = configPathOn(card);
    if (!savedConfig) {
        if (const auto key = SaveDefaultFileData(QFile::encodeName(target).toStdString()))
            return qtTrId(key->c_str());
        return std::nullopt;
    }
    QFile copy(*savedConfig);
    if (!copy.open(QIODevice::ReadOnly))
        return copy.errorString();
    const QByteArray bytes = copy.read(kLargestConfigFile);
    copy.close();
    if (auto why = writeBack(target, bytes))
        return why;
    removeCopy(*savedConfig);
    return std::nullopt;
}

std::optional<TKUSBDiskEntity> cardOnDevice(const std::vector<TKUSBDiskEntity>& cards, const std::string& device) {
    for (const auto& card : cards) {
        if (card.deviceFilePath() == device)
            return card;
    }
    return std::nullopt;
}

size_t recordingCountOn(const TKUSBDiskEntity& card) {
    if (card.mountedURL().empty())
        return 0;
    return ZLXMediaList::build(card.mountedURL()).medias.size();
}

ZLXConfirmationText formatConfirmationText(const TKUSBDiskEntity& card, size_t recordings) {
    const QString label = card.volumeName().empty() ? QStringLiteral("-") : QString::fromStdString(card.volumeName());
    return {qtTrId("msg.format_confirm")
                .arg(label, QString::fromStdString(byteSizeString(card.volumeSize())), deviceOf(card)),
            qtTrId("msg.format_confirm_detail", int(std::min<size_t>(recordings, INT_MAX)))};
}

QString formatFailureText(const TKUSBDiskEntity& card, const ZLXCommandResult& error) {
    const QString disk = QString::fromStdString(card.displayString());
    if (error.exitStatus == 1)
        return QStringLiteral("%1\n%2").arg(disk, qtTrId("msg.write_protected_disk"));
    return QStringLiteral("%1\nError:%2").arg(disk, error.message);
}

QString withKeptCopy(const QString& text, const std::optional<QString>& savedConfig) {
    if (!savedConfig || !QFileInfo::exists(*savedConfig))
        return text;
    return text + QLatin1Char('\n') + qtTrId("msg.config_copy_kept").arg(*savedConfig);
}

// ---- image files formatted without a mount

namespace {

struct ToolRun {
    int status = -1;
    QByteArray out;
    QString error;
};

// mtools on an image: no configuration of drives is read, the geometry check is skipped.
ToolRun runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MTOOLS_SKIP_CHECK"), QStringLiteral("1"));
    environment.insert(QStringLiteral("MTOOLSRC"), QStringLiteral("/dev/null"));
    process.setProcessEnvironment(environment);
    process.setChildProcessModifier(dieWithParent);
    process.start(toolPath(program), arguments);
    ToolRun run;
    if (!process.waitForStarted(30000)) {
        run.error = process.errorString();
        return run;
    }
    process.closeWriteChannel();
    process.waitForFinished(-1);
    run.out = process.readAllStandardOutput();
    run.error = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

// The image's config.bin through mtools; none when it has none.
std::optional<QByteArray> imageConfigFile(const QString& image) {
    const ToolRun run = runTool(QStringLiteral("mcopy"), {QStringLiteral("-n"), QStringLiteral("-i"), image,
                                                          QStringLiteral("::/config.bin"), QStringLiteral("-")});
    if (run.status != 0 || run.out.size() > kLargestConfigFile)
        return std::nullopt;
    return run.out;
}

std::optional<size_t> imageRecordingCount(const QString& image) {
    // the root first: the recursive listing of an empty card fails as "not found"
    if (runTool(QStringLiteral("mdir"), {QStringLiteral("-i"), image, QStringLiteral("-b"), QStringLiteral("::/")})
            .status != 0)
        return std::nullopt;
    const ToolRun run = runTool(QStringLiteral("mdir"), {QStringLiteral("-i"), image, QStringLiteral("-/"),
                                                         QStringLiteral("-b"), QStringLiteral("::/")});
    size_t count = 0;
    for (const QByteArray& line : run.out.split('\n')) {
        const QByteArray name = line.trimmed();
        if (name.endsWith('/') || !name.toLower().endsWith(".mp4"))
            continue;
        if (ZLXMediaList::createMediaByPath(name.toStdString()))
            ++count;
    }
    return count;
}

bool sameImage(const ZLXImageFormatPlan& plan, const ZLXCardImageCheck& now) {
    return now.image && now.image->content == plan.image.content && now.image->size == plan.image.size &&
           now.image->label == plan.image.label && now.image->fatType == plan.image.fatType;
}

} // namespace

std::variant<ZLXImageFormatPlan, QString> planImageFormat(const QString& path) {
    const std::string bytesPath = QFile::encodeName(path).toStdString();
    const ZLXCardImageCheck check = identifyCardImage(bytesPath);
    if (!check.image)
        return QString::fromStdString(check.refusal);
    if (const auto users = imageFileUsers(bytesPath); !users.empty())
        return QStringLiteral("%1 is in use: %2. Unmount it first.").arg(path, QString::fromStdString(users.front()));
    const int64_t sectors = clusterSizeByVolumeSizeInKB(check.image->size);
    if (const auto why = fat32SizeRefusal(check.image->size, sectors))
        return QString::fromStdString(*why);
    const bool writable = ::access(bytesPath.c_str(), W_OK) == 0;
    ZLXImageFormatPlan plan{path,
                            *check.image,
                            TKUSBDiskEntity(check.image->label, {}, bytesPath, std::string("Image file"),
                                            check.image->size, writable, true, bytesPath),
                            std::nullopt,
                            std::nullopt,
                            sectors};
    if (check.image->content == ZLXCardImage::Content::Fat) {
        plan.config = imageConfigFile(path);
        plan.recordings = imageRecordingCount(path);
    }
    return plan;
}

ZLXConfirmationText imageConfirmationText(const ZLXImageFormatPlan& plan) {
    if (plan.recordings)
        return formatConfirmationText(plan.card, *plan.recordings);
    ZLXConfirmationText text = formatConfirmationText(plan.card, 0);
    QString what;
    switch (plan.image.content) {
    case ZLXCardImage::Content::Blank: what = QStringLiteral("It is blank: it holds no file system."); break;
    case ZLXCardImage::Content::ExFat: what = QStringLiteral("It holds an exFAT file system, which the camera cannot use."); break;
    case ZLXCardImage::Content::OtherOrBroken: what = QStringLiteral("It holds no FAT file system the computer can read."); break;
    case ZLXCardImage::Content::Fat: what = QStringLiteral("Its files cannot be read; the file system looks damaged."); break;
    }
    text.informative = what + QStringLiteral(" Everything on it is erased, and it gets the camera's default settings file.");
    return text;
}

ZLXFormatResult formatImageFile(const ZLXImageFormatPlan& plan, const std::function<void(const QString&)>& status) {
    ZLXFormatResult result;
    const std::string bytesPath = QFile::encodeName(plan.path).toStdString();
    // the file looked at before the question, still unused
    if (!sameImage(plan, identifyCardImage(bytesPath))) {
        result.error = refused(QStringLiteral("%1 changed since it was looked at; nothing was erased.").arg(plan.path));
        return result;
    }
    if (const auto users = imageFileUsers(bytesPath); !users.empty()) {
        result.error = refused(QStringLiteral("%1 is in use: %2.").arg(plan.path, QString::fromStdString(users.front())));
        return result;
    }
    if (plan.config) {
        const Backup backup = storeConfigCopy(*plan.config);
        if (backup.error) {
            result.error = {-1, QStringLiteral("config.bin copy fail: %1").arg(*backup.error)};
            return result;
        }
        result.savedConfig = backup.path;
    }
    status(QStringLiteral("formatting..."));
    const ZLXCommandResult formatted =
        runShellScript(toolPath(QStringLiteral("mkfs.fat")), cardFormatArguments(plan.sectorsPerCluster, plan.path), false);
    if (!formatted.ok()) {
        // mkfs.fat writes nothing when it refuses; the copy is needed only if the card lost it
        if (result.savedConfig && imageConfigFile(plan.path) == plan.config) {
            removeCopy(*result.savedConfig);
            result.savedConfig.reset();
        }
        result.outcome = ZLXFormatResult::Outcome::Failed;
        result.error = formatted;
        return result;
    }
    // config.bin into the new file system, without a mount
    QByteArray bytes;
    if (plan.config) {
        bytes = *plan.config;
    } else {
        _FILEDATA record{}; // the camera's default file, as the format window writes it
        SetDefaultFileData(&record);
        uint8_t encoded[kFileDataSize];
        encodeFileData(record, encoded);
        bytes = QByteArray(reinterpret_cast<const char*>(encoded), qsizetype(kFileDataSize));
    }
    const QByteArray folder = QFile::encodeName(QDir::temp().filePath(QStringLiteral("daxo-format-XXXXXX")));
    QByteArray work = folder;
    QString why;
    if (!::mkdtemp(work.data())) {
        why = QString::fromLocal8Bit(strerror(errno));
    } else {
        const QString local = QDir(QFile::decodeName(work)).filePath(QStringLiteral("config.bin"));
        QFile out(local);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly) || out.write(bytes) != bytes.size() || !out.flush()) {
            why = out.errorString();
        } else {
            out.close();
            const ToolRun copy = runTool(QStringLiteral("mcopy"), {QStringLiteral("-o"), QStringLiteral("-i"), plan.path,
                                                                   local, QStringLiteral("::/config.bin")});
            if (copy.status != 0)
                why = copy.error.isEmpty() ? QStringLiteral("mcopy failed") : copy.error;
            else if (imageConfigFile(plan.path) != bytes)
                why = QStringLiteral("%1 does not read back as it was written.").arg(QStringLiteral("config.bin"));
        }
        QFile::remove(local);
        QDir().rmdir(QFile::decodeName(work));
    }
    result.outcome = ZLXFormatResult::Outcome::Formatted;
    if (!why.isEmpty()) {
        result.error = {-1, QStringLiteral("config.bin copy fail\n") + why};
        return result;
    }
    if (result.savedConfig) {
        removeCopy(*result.savedConfig);
        result.savedConfig.reset();
    }
    status(QStringLiteral("Format completed!"));
    return result;
}

} // namespace daxo
