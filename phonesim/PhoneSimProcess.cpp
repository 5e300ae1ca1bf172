#include "phonesim/PhoneSimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace quorix::phonesim {

namespace {

const QString ProgramName = QStringLiteral("quorix-phonesim");
const QString SampleName = QStringLiteral("sample.pbf");

} // namespace

PhoneSimProcess::PhoneSimProcess(QObject* parent) : QObject(parent), program_(findProgram()) {
    killTimer_.setSingleShot(true);
    killTimer_.setInterval(2000);
    connect(&killTimer_, &QTimer::timeout, &process_, &QProcess::kill);
    connect(&process_, &QProcess::readyReadStandardOutput, this, &PhoneSimProcess::readOutput);
    connect(&process_, &QProcess::readyReadStandardError, this,
            [this] { errors_ = (errors_ + process_.readAllStandardError()).right(4000); });
    connect(&process_, &QProcess::finished, this, &PhoneSimProcess::onFinished);
    connect(&process_, &QProcess::errorOccurred, this, &PhoneSimProcess::onError);
}

PhoneSimProcess::~PhoneSimProcess() {
    // The program must not outlive us; a last short wait lets it save and clean up.
    if (isRunning()) {
        process_.disconnect(this);
        process_.terminate();
        if (!process_.waitForFinished(2000))
            process_.kill();
        process_.waitForFinished(1000);
    }
}

QString PhoneSimProcess::findProgram() {
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString& relative : {ProgramName, QStringLiteral("../phonesim/") + ProgramName,
                                    QStringLiteral("../../phonesim/") + ProgramName}) {
        const QFileInfo candidate(here.filePath(relative));
        if (candidate.isFile() && candidate.isExecutable())
            return candidate.canonicalFilePath();
    }
    return QStandardPaths::findExecutable(ProgramName);
}

QString PhoneSimProcess::sampleBook(const QString& program) {
    const QDir dir = QFileInfo(program).absoluteDir();
    for (const QString& relative : {SampleName, QStringLiteral("../share/quorix/") + SampleName}) {
        const QFileInfo candidate(dir.filePath(relative));
        if (candidate.isFile())
            return candidate.canonicalFilePath();
    }
    return {};
}

bool PhoneSimProcess::start(const QStringList& arguments) {
    if (isRunning()) {
        error_ = QStringLiteral("the virtual phone is already running");
        return false;
    }
    if (program_.isEmpty()) {
        error_ = QStringLiteral("%1 was not found").arg(ProgramName);
        return false;
    }
    device_.clear();
    error_.clear();
    output_.clear();
    errors_.clear();
    failed_ = false;
#ifdef Q_OS_LINUX
    // However this program ends - closed, killed, crashed - the virtual phone
    // ends with it instead of holding its pseudo-terminal forever.
    const pid_t parent = ::getpid();
    process_.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) // gone already, before the line above
            ::_exit(1);
    });
#endif
    process_.start(program_, arguments);
    return true;
}

void PhoneSimProcess::stop() {
    if (!isRunning())
        return;
    process_.terminate();
    killTimer_.start();
}

void PhoneSimProcess::fail(const QString& message) {
    if (failed_ || !device_.isEmpty())
        return;
    failed_ = true;
    error_ = message;
    Q_EMIT failed(message);
}

void PhoneSimProcess::readOutput() {
    output_ += process_.readAllStandardOutput();
    if (!device_.isEmpty())
        return;
    const qsizetype end = output_.indexOf('\n');
    if (end < 0)
        return;
    device_ = QString::fromLocal8Bit(output_.left(end)).trimmed();
    Q_EMIT ready(device_);
}

void PhoneSimProcess::onFinished(int exitCode, QProcess::ExitStatus status) {
    killTimer_.stop();
    errors_ = (errors_ + process_.readAllStandardError()).right(4000);
    if (device_.isEmpty()) {
        QString why = QString::fromLocal8Bit(errors_).trimmed();
        if (why.isEmpty())
            why = status == QProcess::CrashExit
                      ? QStringLiteral("%1 crashed").arg(ProgramName)
                      : QStringLiteral("%1 ended with status %2").arg(ProgramName).arg(exitCode);
        fail(why);
        return;
    }
    Q_EMIT stopped();
}

void PhoneSimProcess::onError(QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart)
        fail(QStringLiteral("cannot start %1: %2").arg(program_, process_.errorString()));
}

} // namespace quorix::phonesim
