#pragma once

// What the tests of the desktop application share: a scratch working
// directory, answers for message boxes, and a window past its start-up.

#include "app/CommandActions.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QList>
#include <QMenu>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace quorix::test {

// Runs a test in a fresh working directory, with a configuration folder of its
// own inside it (never the real home's).
class WorkDir {
public:
    WorkDir()
        : old_(QDir::currentPath()), oldConfig_(qgetenv("XDG_CONFIG_HOME")),
          oldData_(qgetenv("XDG_DATA_HOME")) {
        QDir::setCurrent(dir_.path());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("config"))));
        // Backups of the phone go here, never to the real home's data folder.
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("data"))));
    }
    ~WorkDir() {
        QDir::setCurrent(old_);
        for (const auto& [name, value] :
             {std::pair{"XDG_CONFIG_HOME", oldConfig_}, std::pair{"XDG_DATA_HOME", oldData_}}) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }
    // The backups folder of this run.
    QString backups() const { return file(QStringLiteral("data/quorix/backups")); }
    QString path() const { return dir_.path(); }
    // Where the settings file goes when the working directory has none.
    QString userConfig() const { return file(QStringLiteral("config/quorix/quorix7.ini")); }
    // The settings file the window uses: the working directory's when it has one.
    QByteArray readConfig() const {
        return QFile::exists(file(QStringLiteral("quorix7.ini")))
                   ? read(QStringLiteral("quorix7.ini"))
                   : read(QStringLiteral("config/quorix/quorix7.ini"));
    }
    QString file(const QString& name) const { return dir_.filePath(name); }
    void write(const QString& name, const QByteArray& text) const {
        QFile f(file(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray read(const QString& name) const {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir dir_;
    QString old_;
    QByteArray oldConfig_;
    QByteArray oldData_;
};

// Answers the program's message boxes from a list and notes what was asked.
class Answers {
public:
    explicit Answers(QList<QMessageBox::StandardButton> answers = {}) : answers_(answers) {
        MessageBoxes::setHook([this](const Question& q) {
            asked.append(q);
            return answers_.isEmpty() ? QMessageBox::Ok : answers_.takeFirst();
        });
    }
    ~Answers() { MessageBoxes::clearHook(); }
    QList<Question> asked;

private:
    QList<QMessageBox::StandardButton> answers_;
};

// A transfer running as the window sees it, for as long as this lives: the
// book's flag set and the window told, as the transfer does both.
class TransferRunning {
public:
    explicit TransferRunning(MainWindow& w) : w_(w) { set(true); }
    ~TransferRunning() { set(false); }
    TransferRunning(const TransferRunning&) = delete;
    TransferRunning& operator=(const TransferRunning&) = delete;

private:
    void set(bool on) {
        w_.phonebook().transferActive = on;
        w_.setTransferActive(on);
    }
    MainWindow& w_;
};

// A part of the window (a button, a dialog), found as its child: by its
// object name, or the one of its type.
template <typename T> T* child(const MainWindow& w, const char* name = nullptr) {
    return name ? w.findChild<T*>(QString::fromLatin1(name)) : w.findChild<T*>();
}

// The window's command by its id ("file.open").
inline QAction* command(const MainWindow& w, const char* id) {
    QAction* a = w.commands().action(QString::fromLatin1(id));
    if (!a)
        qWarning("no command %s", id);
    return a;
}

// A window past its start-up (info window skipped unless asked for).
template <typename Window = MainWindow> std::unique_ptr<Window> startWindow() {
    auto w = std::make_unique<Window>();
    w->createWindows();
    w->setInfoAtStart(false);
    QSignalSpy started(w.get(), &MainWindow::startupFinished);
    w->show();
    if (!started.wait(2000))
        qWarning("start-up did not finish");
    return w;
}

} // namespace quorix::test
