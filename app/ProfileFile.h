#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace quorix {

// A configuration file of bracketed sections and "key=value" lines, kept the
// way the Windows profile functions keep one: sections and keys are found
// regardless of case, values are read trimmed, a key that is set again is
// updated in its own line, a new key goes after the last key of its section
// (a new section at the end of the file), and every other line of the file -
// other sections, comments, blank lines - is written back unchanged.
class ProfileFile {
public:
    explicit ProfileFile(QString path = {});

    const QString& path() const { return path_; }

    // Reads the file. A missing file reads as an empty one; false (with the
    // system's text in error) only when an existing file cannot be read.
    bool load(QString* error = nullptr);

    // The value of a key, trimmed and without surrounding quotes; none when the
    // section or the key is missing.
    std::optional<QByteArray> value(const QByteArray& section, const QByteArray& key) const;
    void setValue(const QByteArray& section, const QByteArray& key, const QByteArray& value);

    // The whole file as it would be written.
    QByteArray contents() const;
    // Writes the file atomically: on failure the earlier file stays as it was.
    bool save(QString* error = nullptr) const;

private:
    // Line of the section header, or -1.
    int findSection(const QByteArray& section) const;
    // Line of the key within the section that starts at line sectionLine, or -1.
    int findKey(int sectionLine, const QByteArray& key) const;

    QString path_;
    QList<QByteArray> lines_;
    QByteArray eol_;
};

} // namespace quorix
