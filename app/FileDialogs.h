#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace quorix {

namespace files {
struct FileResult;
}

// One request for a file name, as the program puts it to the user.
struct FileRequest {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    QString title;
    // Pairs of description and patterns, each part ended by "|":
    // "Textfiles|*.txt|All files|*.*".
    QString filter;
    QString directory; // where the dialog starts; empty for where the last one ended
    QString fileName;  // the name it shows at first
    // A check box under the dialog's fields (empty text: none); *option is
    // its state, before and after.
    QString optionText;
    bool* option = nullptr;

    // The filter as Qt writes it: {"Textfiles (*.txt)", "All files (*.*)"}.
    QStringList nameFilters() const;
};

// Every file dialog of the program goes through here, so that tests can answer
// them with a path, or cancel them, without a modal window blocking the run.
class FileDialogs {
public:
    // The chosen path, or an empty text when the user cancelled.
    using Hook = std::function<QString(const FileRequest&)>;

    // Asks for an existing file to read.
    static QString open(QWidget* parent, const QString& title, const QString& filter);
    // Asks for a file to write. The dialog neither adds an extension nor asks
    // about an existing file: the caller knows the name it will really write.
    static QString save(QWidget* parent, const QString& title, const QString& filter,
                        const QString& directory, const QString& fileName);
    // The same with a check box (optionText) whose state *option holds.
    static QString save(QWidget* parent, const QString& title, const QString& filter,
                        const QString& directory, const QString& fileName,
                        const QString& optionText, bool* option);

    // Says in an "Error" box why a file operation failed: the format's own
    // message as it stands, or the file and the system's text for an
    // input/output error.
    static void error(QWidget* parent, const files::FileResult& result);

    // While a hook is installed it answers instead of a dialog.
    static void setHook(Hook hook);
    static void clearHook() { setHook({}); }

private:
    static QString ask(QWidget* parent, const FileRequest& request);
};

// Shows the busy pointer while it lives: a large book takes a moment to read
// or write.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Runs f under the busy pointer and gives its result.
template <typename F> auto whileBusy(F&& f) {
    const BusyCursor busy;
    return f();
}

} // namespace quorix
