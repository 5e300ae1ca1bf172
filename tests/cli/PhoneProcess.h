#pragma once
// What the end-to-end tests of quorix-cli against quorix-phonesim share: the
// virtual phone as a process, and the files they compare.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace quorix::test {

// The programs under test, and the book the virtual phone ships with.
inline const QString Cli = QStringLiteral(QUORIX_CLI);
inline const QString Phonesim = QStringLiteral(QUORIX_PHONESIM);
inline const QString Sample =
    QFileInfo(Phonesim).absoluteDir().filePath(QStringLiteral("sample.pbf"));

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// How a program run ended: exit code -1 when it did not end in time.
struct Run {
    int exitCode = -1;
    QByteArray out, err;
};

inline Run run(const QString& program, const QStringList& args, int timeoutMs = 60000) {
    QProcess p;
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(timeoutMs))
        return r;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// quorix-phonesim, running until the test ends or stop() (then it saves its
// memory, if asked to). device is the pseudo-terminal it printed.
class Phone {
public:
    explicit Phone(const QStringList& arguments) {
        process_.start(QStringLiteral(QUORIX_PHONESIM), arguments);
        QByteArray line;
        while (!line.contains('\n') && process_.waitForReadyRead(5000))
            line += process_.readAllStandardOutput();
        device = QString::fromLocal8Bit(line.left(line.indexOf('\n')));
    }
    ~Phone() { stop(); }
    Phone(const Phone&) = delete;
    Phone& operator=(const Phone&) = delete;

    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        process_.waitForFinished(5000);
    }
    // What it said on stderr, once stopped.
    QByteArray errors() {
        stop();
        return process_.readAllStandardError();
    }
    QString device;

private:
    QProcess process_;
};

} // namespace quorix::test
