#pragma once

#include "app/Config.h"
#include "link/FbusLink.h"
#include "link/SerialPort.h"
#include "model/BookEditor.h"
#include "model/BookModel.h"
#include "transfer/TransferReport.h"

#include <QMainWindow>
#include <QPoint>
#include <QStringList>
#include <array>
#include <memory>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QToolButton;
class QVBoxLayout;

namespace quorix {

namespace phonesim {
class PhoneSimProcess;
}

class BookTable;
class BookTree;
class BookUndo;
class CommandActions;
class FindBar;
class MainSurface;
class StatusPanel;
class CsvImportDialog;
class ConnectionDialog;
class TraceWindow;
class TransferParts;

namespace transfer {
class Transfer;
struct LocationRange;
struct TransferReport;
} // namespace transfer
namespace files {
struct BookResult;
}
class InfoWindow;
class ReleaseNotesWindow;

// The main window: the phonebook tree with its popup menu, the "Book" and
// "Actions" buttons, the main menu, the status bar and the settings file.
//
// The commands are implemented by area: MainWindow.cpp (window, layout, closing,
// settings, help), MainWindowEdit.cpp (editing the book), MainWindowFiles.cpp (phonebook
// files and imports), MainWindowLink.cpp (the phone link), MainWindowTransfer.cpp (the
// phonebook transfer).
//
// The window owns the serial port and the FBUS link on it, and is the link's
// listener: its status texts go to the first status panel, its failures to
// message boxes.
class MainWindow : public QMainWindow, public link::LinkListener {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up. Creates the windows that stay hidden until they are asked for.
    void createWindows();
    // Whether the first show waits for the info window to be closed (it does
    // unless a test or a picture for the documentation says otherwise).
    void setInfoAtStart(bool show) { infoAtStart_ = show; }
    // Opens a file given on the command line or dropped: a phonebook is loaded (after
    // the close question), a CSV file goes to the import dialog, a vCard
    // opens as the book, or beside names is imported (adoptImport). False when
    // nothing was opened.
    bool openPath(const QString& path);
    // Opens the file with openPath() once start-up is over and the settings
    // are read (a CSV import uses them): the file named on the command line.
    void openWhenStarted(const QString& path);
    // A file dropped on the window: a .pbf is opened, a .vcf or .csv
    // imported; false for a file of no kind we know.
    bool openDroppedFile(const QString& path);
    // Starts the demo: a virtual phone whose device is the connection for
    // this run only and is never written to the settings file.
    void startDemo();

    // The book, its item model and the two views of it, the tree and the table.
    Book& phonebook() { return bookModel->book(); }
    BookModel& model() const { return *bookModel; }
    BookTree* treeView() const { return tree; }
    BookTable* tableView() const { return bookTable; }
    // "Quorix", or "Quorix - " and the file name of the book.
    void updateCaption();

    // An imported book into the window. When the book holds names already,
    // the user chooses: add the import to them (merging the names that are
    // there, one undo step, the book keeps its file) or replace the book
    // (after the unsaved-changes question; one undo step, no file name, or
    // with opens the imported file as the book's own, as Open makes it), or
    // cancel. status is the import's own report for the first panel. False
    // when nothing was taken in.
    bool adoptImport(files::BookResult& imported, const QString& stepText, const QString& status,
                     bool opens = false);
    // The unsaved-changes question, asked before closing and before any command
    // replaces the whole book. True when the caller may go on: the book was not
    // changed, the user said No, or said Yes and the book was saved. False
    // while a transfer runs, on Cancel, and when the save did not happen.
    bool confirmClose();

    // The settings the connection and CSV dialogs use; read from the settings
    // file at the first show and written back when the window closes.
    Config& settings() { return config; }
    // Full path of "quorix7.ini", fixed at start-up: the one in the working
    // directory when there is one, else the one in the user's configuration folder.
    const QString& configPath() const { return configPath_; }
    bool configLoaded() const { return configLoaded_; }
    // File > Open recent: the last books opened or saved, newest first.
    const QStringList& recentFiles() const { return recentFiles_; }
    // Size of the layout in percent of the design at 96 dpi.
    int scale() const { return scale_; }
    // The phone picture's place on the window, set at the first show.
    QRect phonePictureRect() const;

    // Every command of the window as one action, by name ("file.open"):
    // menus, buttons and the popup share them, and the commands a transfer
    // refuses are disabled while one runs.
    CommandActions& commands() const { return *commands_; }
    // The tree's (and the table's) popup menu.
    QMenu* popupMenu() const { return popup; }
    // The transfer began or ended: commands that would disturb it wait.
    void setTransferActive(bool active);

    // The status bar's panels: 0 transfer progress, 1 entry count, 2 the note
    // of the name under the pointer.
    void setPanel(int panel, const QString& text);
    QString panelText(int panel) const;
    StatusPanel* panelLabel(int panel) const { return panels_[static_cast<size_t>(panel)]; }

    // The phone link. The serial port and the link live as long as the
    // window; a link is open between startLink() and its end.
    link::SerialPort& serial() { return *serial_; }
    link::FbusLink& fbus() { return *fbus_; }
    // The connection to open: port, cable and device as the connection dialog
    // left them, with the virtual phone's device while the demo runs.
    link::LinkSettings linkSettings() const;
    // Starts the link with linkSettings(); the status panel and message boxes
    // tell how it goes, and linkStartFinished() says when it is over.
    void startLink();
    phonesim::PhoneSimProcess& demoPhone();
    bool demoActive() const { return !demoDevice_.isEmpty(); }
    // The phonebook transfer over the window's link, made at first use.
    transfer::Transfer& phoneTransfer();

Q_SIGNALS:
    // The first show is over: the info window was closed and the settings read.
    void startupFinished();
    // A link start-up is over: ok when the link runs.
    void linkStartFinished(bool ok);
    // The virtual phone of the demo serves on this device now.
    void demoReady(const QString& device);

private:
    // Parts of the window's own implementation.
    friend class TransferParts;
    friend bool writeBook(MainWindow& w, const QString& path);

    // The book, its item model and the tree that shows it.
    BookModel* bookModel;
    BookTree* tree;

    // The settings the connection and CSV dialogs use; read from the settings
    // file at the first show and written back when the window closes.
    Config config;
    // The working directory the program was started in.
    QString startDir;
    // Beside the first panel during Read and Write: entry x of y, in the
    // place of the third panel.
    QProgressBar* progressBar = nullptr;
    void showProgress(int done, int total);
    void hideProgress();

    InfoWindow* infoWindow = nullptr;
    CsvImportDialog* csvImportDialog = nullptr;
    TraceWindow* traceWindow = nullptr;
    ConnectionDialog* connectionDialog = nullptr;
    ReleaseNotesWindow* releaseNotesWindow = nullptr; // made at first use

    // MainWindowLink.cpp. LinkListener: status texts go to the first panel,
    // failures to message boxes.
    void showStatus(const QByteArray& text) override;
    void showError(const QByteArray& caption, const QByteArray& text) override;
    void linkStarted(bool ok) override;
    // The system's reason for a link that did not start, in the status panel's
    // tool tip.
    void showLinkFailure(const QByteArray& device, const QByteArray& reason);

    // The device the demo's virtual phone serves on.
    const QByteArray& demoDevice() const { return demoDevice_; }

    // Controls.
    QGroupBox* bookGroup;
    QGroupBox* actionsGroup;
    QToolButton* saveButton;
    QToolButton* loadButton;
    QToolButton* sortButton;
    QToolButton* clearButton;
    QToolButton* readButton;
    QToolButton* writeButton;
    QToolButton* stopButton;
    QToolButton* exitButton;
    QCheckBox* debugBox;
    QLabel* notice;

    // Main menu: the actions registered in commands().
    QAction* newAction;
    QAction* openAction;
    QAction* saveAction;
    QAction* saveAsAction;
    QAction* importCsvAction;
    QAction* import9110Action;
    QAction* importVCardAction;
    QAction* exportVCardAction;
    QAction* exportCsvAction;
    QAction* exportGoogleCsvAction;
    QAction* restoreBackupAction;
    QAction* exitAction;
    QAction* setupAction;
    QAction* readAction;
    QAction* writeAction;
    QAction* stopAction;  // the "Stop" button's
    QAction* clearAction; // the "Clear" button's
    QAction* sortAction;
    QAction* flipAction;
    QAction* findDuplicatesAction;
    QAction* releaseNotesAction;
    QAction* aboutAction;
    // Extras > Record the line...: checked while the line is recorded.
    QAction* recordAction = nullptr;
    // File > Open recent.
    QMenu* recentMenu;
    static constexpr int RecentCount = 8;
    void addRecentFile(const QString& path);

    // Edit menu (MainWindowEditMenu.cpp): the book's undo history and Find.
    BookUndo* bookUndo = nullptr;
    FindBar* findBar = nullptr;
    QAction* undoAction = nullptr;
    QAction* redoAction = nullptr;
    QAction* findAction = nullptr;
    // Add to the book, replace it, or neither: the import's question.
    enum class ImportChoice { Add, Replace, Cancel };
    ImportChoice askImportChoice(const QString& path);

    // View > Tree / Table (MainWindowView.cpp): the book as the tree or as a
    // table of names with a filter; both show the one BookModel.
    BookTable* bookTable = nullptr;
    QAction* treeViewAction = nullptr;
    QAction* tableViewAction = nullptr;
    void setTableView(bool on);
    bool tableViewActive() const;

    // The tree's popup menu.
    QMenu* popup;
    std::array<QAction*, 8> changeTypeActions; // "Change type": kinds 2..9
    std::array<QAction*, 5> groupActions;      // "Add to group": groups 1..5
    QAction* editAction;
    QAction* newEntryAction;
    QAction* newTextEntryAction;
    QAction* newNameAction;
    QAction* deleteAction;
    QAction* rewriteAction;
    QAction* expandAllAction;
    QAction* collapseAllAction;

private Q_SLOTS:
    // MainWindow.cpp
    void showAbout();
    void showReleaseNotes();

    // MainWindowEdit.cpp
    void newEntry();
    void newTextEntry();
    void newName();
    void editNode();
    void deleteNode();
    void clearBook();
    void newBook();
    void expandAll();
    void collapseAll();
    void changeType(int kind);
    void setGroup(int group);
    void sortBook();
    void flipBook();
    // Extras > Find duplicates: the groups of names that look like one
    // person, each merged or skipped in a dialog.
    void findDuplicates();

    // MainWindowEditMenu.cpp
    void showFindBar();
    // The next match from the current node: direction 0 the node itself or
    // after it (typing), 1 after it (Enter), -1 before it (Shift+Enter).
    void find(int direction);

    // MainWindowFiles.cpp
    void openFile();
    void saveFile();
    void saveFileAs();
    void importCsvFile();
    void import9110File();
    // A vCard file into the book (see adoptImport); path empty asks for one.
    bool importVCardFile(const QString& path = {}, bool opens = false);
    // An entry of Open recent: the book is opened (a phonebook or a vCard).
    bool openRecent(const QString& path);
    void exportVCardFile();
    void exportCsvFile();
    void exportGoogleCsvFile(); // CSV in Google Contacts' own columns
    // File > Restore from backup: one of the backups folder's newest files as a
    // book without a file name.
    void restoreFromBackup();

    // MainWindowLink.cpp
    void setupConnection();
    void toggleTrace(bool on);
    void togglePause();
    // Starts recording the line into a file the user chooses (every link from now
    // on), or ends the recording.
    void toggleRecording(bool on);

    // MainWindowTransfer.cpp
    void startRead();
    void startWrite();
    // Transfer > Compare with phone: reads the range, leaves the book, shows
    // the differences.
    void compareWithPhone();
    // Transfer > Write changes: only the names the phone holds otherwise.
    void writeChanges();
    void requestStop();
    void rewriteEntry();
    // The Custom borders of the trace window, as the transfer takes them.
    transfer::LocationRange customBorders() const;

private:
    // What the window does when its sync job ends.
    enum class PendingSync { None, Write, WriteCheck, Changes, Compare };
    void transferFinished(const transfer::TransferReport& report, PendingSync pending);
    // Write's question when the phone holds other entries where it writes.
    void askBeforeWrite(const std::vector<PhoneSlot>& held);
    QAction* compareAction;
    QAction* writeChangesAction;

    // MainWindowFiles.cpp: Save of a book opened from a vCard file: asks once
    // whether to keep it a vCard, else saves as a phonebook.
    bool saveVCardBook();

protected:
    // MainWindowFiles.cpp: saves the book to its file, or asks for a file name when
    // it has none; true only when the book was saved. Tests override it.
    virtual bool saveBook();
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void buildPopup();
    void layoutControls();
    // The place and size kept from the last run, no smaller than smallest;
    // invalid when there is none or no screen shows it.
    QRect keptPlace(const QSize& smallest) const;
    int scaled(int v) const { return v * scale_ / 100; }
    void firstShow();
    void finishStartup();
    void readConfig();
    bool writeConfig();
    void fillRecentMenu();
    bool loadBook(const QString& path);
    void updateEntryCount();

    // MainWindowEdit.cpp: the editing commands' wiring, what a command asks of the
    // view afterwards, the note of the name under the pointer, and the tree's
    // expansion shown by the kind images.
    void connectEditing();
    void applyOutcome(const EditOutcome& outcome);
    void onPointerMoved(const QModelIndex& index);
    void onExpanded(const QModelIndex& index);
    void onCollapsed(const QModelIndex& index);
    void onRowsInserted(const QModelIndex& parent);
    void restoreExpansion();
    // MainWindowView.cpp
    void buildViewMenu();
    void buildBookTable();
    void showOutcomeInTable(const EditOutcome& outcome);
    // MainWindowEditMenu.cpp
    void buildEditMenu();
    void fillEditMenu();
    QMenu* editMenu_ = nullptr;
    QMenu* transferMenu_ = nullptr;
    void buildFindBar();
    void placeFindBar();
    // MainWindowLink.cpp: ends the transmit thread, if one runs, before the window
    // goes, and stops the demo's virtual phone.
    void closeLink();
    void createLink();
    void createLinkWindows();
    void addRecordAction(QMenu* menu);
    void connectionClosed();
    void syncConnectionDialog();

    std::unique_ptr<BookEditor> editor_;
    CommandActions* commands_ = nullptr;
    MainSurface* surface_;
    QWidget* leftColumn_ = nullptr;
    QVBoxLayout* viewColumn_ = nullptr; // notice, find bar, tree or table
    QVBoxLayout* views_ = nullptr;      // find bar, tree or table
    int frameWidth_ = 0;                // of the window system's frame
    QRect defaultPlace_;                // where the first show put the window
    std::array<StatusPanel*, 3> panels_{};
    QString configPath_;
    int scale_ = 100;
    bool infoAtStart_ = true;
    bool shown_ = false;
    bool configLoaded_ = false;
    QStringList recentFiles_;
    // The vCard file the user chose to keep as vCard when saving.
    QString vcardKept_;

    // Declared in this order so that the link goes before its port.
    std::unique_ptr<link::SerialPort> serial_;
    std::unique_ptr<link::FbusLink> fbus_;
    phonesim::PhoneSimProcess* demoPhone_ = nullptr;
    QByteArray demoDevice_;
    bool demoRun_ = false; // the demo was started: Setup changes are not saved
    bool pausing_ = false;
    // MainWindowTransfer.cpp. After the link, so that it goes first.
    struct TransferPartsDeleter {
        void operator()(TransferParts* parts) const;
    };
    std::unique_ptr<TransferParts, TransferPartsDeleter> transfer_;
};

} // namespace quorix
