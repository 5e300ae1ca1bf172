#include "app/ProfileFile.h"

#include <QFile>
#include <QSaveFile>

namespace quorix {

namespace {

// The name of a section header line "[name]", or none.
std::optional<QByteArray> sectionName(const QByteArray& line) {
    const QByteArray t = line.trimmed();
    if (!t.startsWith('['))
        return std::nullopt;
    const qsizetype close = t.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return t.mid(1, close - 1).trimmed();
}

bool isComment(const QByteArray& line) {
    const QByteArray t = line.trimmed();
    return t.startsWith(';') || t.startsWith('#');
}

// The key of a "key=value" line, or an empty text.
QByteArray keyOf(const QByteArray& line) {
    if (isComment(line))
        return {};
    const qsizetype eq = line.indexOf('=');
    return eq < 0 ? QByteArray() : line.left(eq).trimmed();
}

bool sameName(const QByteArray& a, const QByteArray& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

ProfileFile::ProfileFile(QString path) : path_(std::move(path)) {
#ifdef Q_OS_WIN
    eol_ = "\r\n";
#else
    eol_ = "\n";
#endif
}

bool ProfileFile::load(QString* error) {
    lines_.clear();
    QFile file(path_);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray all = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // Keep the line ends the file already has.
    const qsizetype lf = all.indexOf('\n');
    if (lf > 0)
        eol_ = all.at(lf - 1) == '\r' ? "\r\n" : "\n";
    lines_ = all.split('\n');
    if (!lines_.isEmpty() && lines_.last().isEmpty())
        lines_.removeLast(); // the final line end
    // In a CR LF file the CR belongs to the line end; in an LF file a CR is part
    // of its line and is written back with it, so a save changes nothing else.
    if (eol_ == "\r\n")
        for (QByteArray& line : lines_)
            if (line.endsWith('\r'))
                line.chop(1);
    return true;
}

int ProfileFile::findSection(const QByteArray& section) const {
    for (int i = 0; i < lines_.size(); ++i) {
        const auto name = sectionName(lines_[i]);
        if (name && sameName(*name, section))
            return i;
    }
    return -1;
}

int ProfileFile::findKey(int sectionLine, const QByteArray& key) const {
    for (int i = sectionLine + 1; i < lines_.size() && !sectionName(lines_[i]); ++i)
        if (sameName(keyOf(lines_[i]), key))
            return i;
    return -1;
}

std::optional<QByteArray> ProfileFile::value(const QByteArray& section,
                                             const QByteArray& key) const {
    const int s = findSection(section);
    const int k = s < 0 ? -1 : findKey(s, key);
    if (k < 0)
        return std::nullopt;
    const QByteArray& line = lines_[k];
    QByteArray v = line.mid(line.indexOf('=') + 1).trimmed();
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

void ProfileFile::setValue(const QByteArray& section, const QByteArray& key,
                           const QByteArray& value) {
    const QByteArray line = key + '=' + value;
    int s = findSection(section);
    if (s < 0) {
        lines_.append('[' + section + ']');
        lines_.append(line);
        return;
    }
    const int k = findKey(s, key);
    if (k >= 0) {
        lines_[k] = line;
        return;
    }
    // After the last key of the section, so that blank lines before the next
    // section stay where they are.
    int after = s;
    for (int i = s + 1; i < lines_.size() && !sectionName(lines_[i]); ++i)
        if (!lines_[i].trimmed().isEmpty())
            after = i;
    lines_.insert(after + 1, line);
}

QByteArray ProfileFile::contents() const {
    QByteArray out;
    for (const QByteArray& line : lines_) {
        out += line;
        out += eol_;
    }
    return out;
}

bool ProfileFile::save(QString* error) const {
    QSaveFile file(path_);
    const QByteArray bytes = contents();
    // Unbuffered, so a write the disk refuses fails here and not unseen at commit.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace quorix
