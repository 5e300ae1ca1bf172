#pragma once

#include "FileResult.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

// The backups folder: a dated vCard of the phone's whole book after every read,
// and of what every write replaced, before it replaced it. The folder keeps the
// newest files it wrote and never touches a file of another name.
namespace quorix::files {

enum class BackupKind { Read, Write };

struct BackupFile {
    QString path;
    QDateTime when;
    BackupKind kind = BackupKind::Read;
    int names = 0;
};

// Files kept; the oldest of ours beyond this go when a new one is written.
inline constexpr int KeptBackups = 50;

// ~/.local/share/quorix/backups (the desktop's data folder).
QString defaultBackupFolder();

class BackupFolder {
public:
    explicit BackupFolder(QString folder = defaultBackupFolder());

    const QString& folder() const { return folder_; }

    // Writes the book as "2026-12-08T12-03-05 read.vcf" (or "... write.vcf";
    // "... write 2.vcf" when that second has a file already), atomically,
    // creating the folder; then removes our oldest files beyond KeptBackups.
    // status "Backup: PATH".
    FileResult save(const Book& book, BackupKind kind,
                    const QDateTime& when = QDateTime::currentDateTime()) const;

    // Our files, newest first, at most count of them, each with its names counted.
    std::vector<BackupFile> newest(int count = KeptBackups) const;

    // Date, kind and serial of one of our file names; nothing for any other name.
    struct NameParts {
        QDateTime when;
        BackupKind kind = BackupKind::Read;
        int serial = 1;
    };
    static std::optional<NameParts> parseName(const QString& fileName);

private:
    struct Own {
        QString fileName;
        NameParts parts;
    };
    std::vector<Own> ownFiles() const; // oldest first

    QString folder_;
};

// Keeps the entries a write will replace (as the phone held them) in a "write"
// backup of the default folder: gives the file's path, or the reason in *error.
QString keepReplaced(const std::vector<PhoneSlot>& replaced, QString* error);

// "read" or "write".
QString backupKindText(BackupKind kind);

} // namespace quorix::files
