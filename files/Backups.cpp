#include "Backups.h"

#include "VCard.h"

#include "model/PhoneSync.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>

namespace quorix::files {

namespace {

const QString StampFormat = QStringLiteral("yyyy-MM-ddTHH-mm-ss");

const QRegularExpression& namePattern() {
    static const QRegularExpression re(QStringLiteral(
        R"(^(\d{4}-\d\d-\d\dT\d\d-\d\d-\d\d) (read|write)(?: ([1-9]\d{0,5}))?\.vcf$)"));
    return re;
}

int countCards(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    int cards = 0;
    while (!file.atEnd())
        if (file.readLine(4096).trimmed().compare("BEGIN:VCARD", Qt::CaseInsensitive) == 0)
            ++cards;
    return cards;
}

} // namespace

QString backupKindText(BackupKind kind) {
    return kind == BackupKind::Read ? QStringLiteral("read") : QStringLiteral("write");
}

QString defaultBackupFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/quorix/backups");
}

BackupFolder::BackupFolder(QString folder) : folder_(std::move(folder)) {}

std::optional<BackupFolder::NameParts> BackupFolder::parseName(const QString& fileName) {
    const QRegularExpressionMatch m = namePattern().match(fileName);
    if (!m.hasMatch())
        return std::nullopt;
    NameParts parts;
    parts.when = QDateTime::fromString(m.captured(1), StampFormat);
    if (!parts.when.isValid())
        return std::nullopt;
    parts.kind = m.captured(2) == QLatin1String("read") ? BackupKind::Read : BackupKind::Write;
    parts.serial = m.captured(3).isEmpty() ? 1 : m.captured(3).toInt();
    return parts;
}

std::vector<BackupFolder::Own> BackupFolder::ownFiles() const {
    std::vector<Own> own;
    const QStringList names = QDir(folder_).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : names)
        if (const auto parts = parseName(name))
            own.push_back({name, *parts});
    std::sort(own.begin(), own.end(), [](const Own& a, const Own& b) {
        if (a.parts.when != b.parts.when)
            return a.parts.when < b.parts.when;
        if (a.parts.serial != b.parts.serial)
            return a.parts.serial < b.parts.serial;
        return a.fileName < b.fileName;
    });
    return own;
}

FileResult BackupFolder::save(const Book& book, BackupKind kind, const QDateTime& when) const {
    if (!QDir().mkpath(folder_)) {
        FileResult r;
        r.path = folder_;
        r.error = QStringLiteral("Cannot create the folder %1").arg(folder_);
        return r;
    }
    // The file names order the backups: a second that has one gets a serial.
    const QDateTime second = when.addMSecs(-when.time().msec());
    int serial = 1;
    for (const Own& o : ownFiles())
        if (o.parts.when == second)
            serial = std::max(serial, o.parts.serial + 1);
    QString name = second.toString(StampFormat) + u' ' + backupKindText(kind);
    if (serial > 1)
        name += u' ' + QString::number(serial);
    name += QStringLiteral(".vcf");

    FileResult r = writeWholeFile(QDir(folder_).filePath(name), vCardText(book));
    if (!r.ok)
        return r;
    r.status = QStringLiteral("Backup: %1").arg(r.path);
    std::vector<Own> own = ownFiles();
    for (size_t i = 0; i + KeptBackups < own.size(); ++i)
        QFile::remove(QDir(folder_).filePath(own[i].fileName));
    return r;
}

std::vector<BackupFile> BackupFolder::newest(int count) const {
    std::vector<Own> own = ownFiles();
    std::vector<BackupFile> out;
    for (auto it = own.rbegin(); it != own.rend() && int(out.size()) < count; ++it) {
        const QString path = QDir(folder_).filePath(it->fileName);
        out.push_back({path, it->parts.when, it->parts.kind, countCards(path)});
    }
    return out;
}

QString keepReplaced(const std::vector<PhoneSlot>& replaced, QString* error) {
    const FileResult backup = BackupFolder().save(slotsBook(replaced), BackupKind::Write);
    if (!backup.ok && error)
        *error = backup.path + QStringLiteral(": ") + backup.error;
    return backup.path;
}

} // namespace quorix::files
