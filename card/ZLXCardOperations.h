// SPDX-License-Identifier: GPL-3.0-or-later
// Formatting the camera's card: the four things it needs from the computer (list, unmount,
// mount, format) behind one interface, and the steps of one format, shared by the format
// window and daxo-card.
#pragma once

#include "card/TKUSBDiskEntity.h"
#include "card/ZLXCardTarget.h"
#include "card/ZLXShell.h"

#include <QByteArray>
#include <variant>

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace daxo {

class ZLXCardOperations {
public:
    virtual ~ZLXCardOperations() = default;
    // The cards that may be formatted, read afresh.
    virtual std::vector<TKUSBDiskEntity> cards() = 0;
    // Unmounts the card's file system; every file system of the medium when it is the whole one.
    virtual ZLXCommandResult unmount(const TKUSBDiskEntity& card) = 0;
    virtual ZLXCommandResult mount(const TKUSBDiskEntity& card) = 0;
    // Checks again that the device may be erased, then makes the camera's FAT32 on it.
    virtual ZLXCommandResult format(const TKUSBDiskEntity& card, int64_t sectorsPerCluster) = 0;
};

// The computer's disks: lsblk lists, udisksctl unmounts and mounts, mkfs.fat runs through
// pkexec, on a device that is checked just before.
std::unique_ptr<ZLXCardOperations> makeSystemCardOperations();

// FAT image files standing in for cards: fusefat mounts, fusermount unmounts, mkfs.fat
// formats the file itself. A card is listed while its image is mounted.
class ZLXImageCardOperations : public ZLXCardOperations {
public:
    void addImage(const QString& imagePath, const QString& mountPoint);

    std::vector<TKUSBDiskEntity> cards() override;
    ZLXCommandResult unmount(const TKUSBDiskEntity& card) override;
    ZLXCommandResult mount(const TKUSBDiskEntity& card) override;
    ZLXCommandResult format(const TKUSBDiskEntity& card, int64_t sectorsPerCluster) override;

private:
    struct Image {
        QString path, mountPoint;
        qint64 daemon = 0; // the fusefat serving the mount, while this object mounted it
    };
    Image* imageOf(const TKUSBDiskEntity& card);
    static ZLXCommandResult mountImage(Image& image, const QString& mode);
    std::vector<Image> m_images;
};

// mkfs.fat's arguments for the camera: FAT32, label DAXO, 2 FATs, backup boot sector 6,
// exactly 32 reserved sectors, `sectorsPerCluster` sectors per cluster.
QStringList cardFormatArguments(int64_t sectorsPerCluster, const QString& device);

// What one format did.
struct ZLXFormatResult {
    enum class Outcome {
        NotStarted, // nothing was run: config.bin could not be put aside
        Failed,     // the format failed; the card was mounted again
        Formatted,  // formatted and mounted again
    };
    Outcome outcome = Outcome::NotStarted;
    ZLXCommandResult error;             // why, unless formatted
    std::optional<QString> savedConfig; // the private copy of the card's config.bin
};

// The steps of one format, on any thread: config.bin put aside (in a folder only the user
// can read), unmount, mkfs.fat, mount again. `status` hears "unmount disk...",
// "formatting...", "try mount..." and "Format completed!" as they come.
ZLXFormatResult runCardFormat(ZLXCardOperations& operations, const TKUSBDiskEntity& card,
                              const std::function<void(const QString&)>& status);

// After a format: the saved config.bin back on the card (the copy removed once its bytes
// read back), or the default file when there was none. Nothing on success, else why not.
std::optional<QString> restoreConfigFile(const TKUSBDiskEntity& card, const std::optional<QString>& savedConfig);

// The first card of `cards` on `device`.
std::optional<TKUSBDiskEntity> cardOnDevice(const std::vector<TKUSBDiskEntity>& cards, const std::string& device);

// The recordings a format of the card would erase.
size_t recordingCountOn(const TKUSBDiskEntity& card);

// The texts the user reads: the question before a format, the reason of a failed one, and
// `text` followed by where the copy of config.bin is kept, when it is.
struct ZLXConfirmationText {
    QString message, informative;
};
ZLXConfirmationText formatConfirmationText(const TKUSBDiskEntity& card, size_t recordings);
QString formatFailureText(const TKUSBDiskEntity& card, const ZLXCommandResult& error);
QString withKeptCopy(const QString& text, const std::optional<QString>& savedConfig);

// An image file made into the camera's card without being mounted: what is known of it before
// the question, read without writing a byte (its first sectors; its config.bin and recordings
// through mtools), and the format after it: mkfs.fat on the file, then config.bin written
// into it with mtools (any cluster size) and read back.
struct ZLXImageFormatPlan {
    QString path;
    ZLXCardImage image;
    TKUSBDiskEntity card;                 // the image as a card, for the texts
    std::optional<QByteArray> config;     // the card's config.bin, when it has one
    std::optional<size_t> recordings;     // none when its files cannot be read
    int64_t sectorsPerCluster = 0;
};
// The plan, or why the file must not be formatted (no card image, in use, too small).
std::variant<ZLXImageFormatPlan, QString> planImageFormat(const QString& path);
ZLXConfirmationText imageConfirmationText(const ZLXImageFormatPlan& plan);
// Formats as planned, after checking again that the file is the one planned and not in use.
// Formatted: config.bin (or the default file) is on it. Otherwise `savedConfig` names the
// private copy of the card's config.bin, when it had one.
ZLXFormatResult formatImageFile(const ZLXImageFormatPlan& plan, const std::function<void(const QString&)>& status);

} // namespace daxo
