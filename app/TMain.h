#pragma once

#include "app/Config.h"
#include "link/CommPortDriver.h"
#include "link/FbusLink.h"
#include "model/BookEditor.h"
#include "model/BookModel.h"

#include <QMainWindow>
#include <QPoint>
#include <array>
#include <memory>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QToolButton;

namespace quorix {

namespace phonesim {
class PhoneSimProcess;
}

class BookTree;
class MainSurface;
class Tcsvimport;
class Tconnection;
class Tdebug;
class TransferParts;

namespace transfer {
class Transfer;
}
class Tinfownd;

// The main window: the phonebook tree with its popup menu, the "Book" and
// "Actions" buttons, the main menu, the status bar and the settings file.
//
// The commands are implemented by area: TMain.cpp (window, layout, closing,
// settings, help), TMainEdit.cpp (editing the book), TMainFiles.cpp (phonebook
// files and imports), TMainLink.cpp (the phone link), TMainTransfer.cpp (the
// phonebook transfer).
//
// The window owns the serial port and the FBUS link on it, and is the link's
// listener: its status texts go to the first status panel, its failures to
// message boxes.
class TMain : public QMainWindow, public link::LinkListener {
    Q_OBJECT
public:
    explicit TMain(QWidget* parent = nullptr);
    ~TMain() override;

    // Creates the windows that stay hidden until they are asked for.
    void createWindows();
    // Whether the first show waits for the info window to be closed (it does
    // unless a test or a screenshot says otherwise).
    void setInfoAtStart(bool show) { infoAtStart_ = show; }

    // The book, its item model and the tree that shows it.
    BookModel* bookmodel;
    BookTree* book;
    Book& phonebook() { return bookmodel->book(); }

    // The settings the connection and CSV dialogs use; read from the settings
    // file at the first show and written back when the window closes.
    Config config;
    // Full path of "quorix7.ini", fixed at start-up from the working directory.
    const QString& configPath() const { return configPath_; }
    // Directory of the settings file.
    QString startdir;
    bool configLoaded() const { return configLoaded_; }

    // Size of the layout in percent of the design at 96 dpi.
    int scale() const { return scale_; }

    // The unsaved-changes question, asked before closing and before any command
    // replaces the whole book. True when the caller may go on: the book was not
    // changed, the user said No, or said Yes and the book was saved. False
    // while a transfer runs, on Cancel, and when the save did not happen.
    bool FormCloseQuery();

    // The status bar's panels: 0 transfer progress, 1 entry count, 2 the note
    // of the name under the pointer.
    void setPanel(int panel, const QString& text);
    QString panelText(int panel) const;
    QLabel* panelLabel(int panel) const { return panels_[static_cast<size_t>(panel)]; }

    // "Quorix", or "Quorix - " and the file name of the book.
    void updateCaption();

    // The phone picture's place on the window, set at the first show.
    QRect phonePictureRect() const;

    Tinfownd* infownd = nullptr;
    Tcsvimport* csvimport = nullptr;
    Tdebug* debugwnd = nullptr;
    Tconnection* connection = nullptr;

    // TMainLink.cpp: the phone link. The serial port and the link live as long
    // as the window; a link is open between fbusinit() and closelink().
    link::TCommPortDriver& serial() { return *serial_; }
    link::FbusLink& fbus() { return *fbus_; }
    // The connection to open: port, cable and device as the connection dialog
    // left them, with the virtual phone's device while the demo runs.
    link::LinkSettings linkSettings() const;
    // Starts the link with linkSettings(); the status panel and message boxes
    // tell how it goes, and linkStartFinished() says when it is over.
    void fbusinit();
    // LinkListener.
    void showStatus(const QByteArray& text) override;
    void showError(const QByteArray& caption, const QByteArray& text) override;
    void linkStarted(bool ok) override;

    // The demo: the virtual phone started by startDemo(). Its device is the
    // connection for this run only and is never written to the settings file.
    phonesim::PhoneSimProcess& demoPhone();
    bool demoActive() const { return !demoDevice_.isEmpty(); }
    const QByteArray& demoDevice() const { return demoDevice_; }

    // Controls.
    QGroupBox* bookGroup;
    QGroupBox* actionsGroup;
    QToolButton* save;
    QToolButton* load;
    QToolButton* sort;
    QToolButton* clear;
    QToolButton* read;
    QToolButton* write;
    QToolButton* stop;
    QToolButton* exitButton;
    QCheckBox* dodebug;
    QLabel* notice;

    // Main menu.
    QAction* mnew;
    QAction* mopen;
    QAction* msave;
    QAction* msaveas;
    QAction* mimportcsv;
    QAction* mimport9110;
    QAction* mexit;
    QAction* msetup;
    QAction* mread;
    QAction* mwrite;
    QAction* msort;
    QAction* mflip;
    QAction* mreleasenotes;
    QAction* mabout;

    // The tree's popup menu.
    QMenu* popup;
    std::array<QAction*, 8> ptype;  // "Change type": kinds 2..9
    std::array<QAction*, 5> pgroup; // "Add to group": groups 1..5
    QAction* pedit;
    QAction* pnewentry;
    QAction* pnewtextentry;
    QAction* pnewname;
    QAction* pdelete;
    QAction* prewrite;
    QAction* pexpandall;
    QAction* pcollapseall;

Q_SIGNALS:
    // The first show is over: the info window was closed and the settings read.
    void startupFinished();
    // A link start-up is over: ok when the link runs.
    void linkStartFinished(bool ok);
    // The virtual phone of the demo serves on this device now.
    void demoReady(const QString& device);

public Q_SLOTS:
    // TMain.cpp
    void aboutClick();
    void releasenotesClick();

    // TMainEdit.cpp
    void newentryClick();
    void newtextentryClick();
    void newnameClick();
    void editClick();
    void deleteClick();
    void clearClick();
    void newClick();
    void expandallClick();
    void collapseallClick();
    void settype(int kind);
    void setgroup(int group);
    void sortClick();
    void flipClick();

    // TMainFiles.cpp
    void openClick();
    void saveClick();
    void saveasClick();
    void csvimportClick();
    void import9110Click();

    // TMainLink.cpp
    void setupClick();
    void dodebugClick(bool on);
    void pausClick();
    void startDemo();

    // TMainTransfer.cpp
    void readClick();
    void writeClick();
    void stopClick();
    void rewriteClick();

public:
    // TMainTransfer.cpp: the phonebook transfer over the window's link, made at
    // first use.
    transfer::Transfer& phoneTransfer();

    // TMainFiles.cpp: saves the book to its file, or asks for a file name when
    // it has none; true only when the book was saved. Tests override it.
    virtual bool saveBook();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void buildPopup();
    void layoutControls();
    void fitTreeToHeight();
    int scaled(int v) const { return v * scale_ / 100; }
    void firstShow();
    void finishStartup();
    void readConfig();
    bool writeConfig();
    void updateEntryCount();

    // TMainEdit.cpp: the editing commands' wiring, what a command asks of the
    // view afterwards, the note of the name under the pointer, and the tree's
    // expansion shown by the kind images.
    void connectEditing();
    void applyOutcome(const EditOutcome& outcome);
    void bookMouseMove(const QModelIndex& index);
    void bookExpanded(const QModelIndex& index);
    void bookCollapsed(const QModelIndex& index);
    void bookRowsInserted(const QModelIndex& parent);
    void restoreExpansion();
    // TMainLink.cpp: ends the transmit thread, if one runs, before the window
    // goes, and stops the demo's virtual phone.
    void closeLink();
    void createLink();
    void createLinkWindows();
    void connectionClosed();
    void syncConnectionDialog();

    std::unique_ptr<BookEditor> editor_;
    MainSurface* surface_;
    std::array<QLabel*, 3> panels_{};
    QString configPath_;
    int scale_ = 100;
    bool infoAtStart_ = true;
    bool shown_ = false;
    bool configLoaded_ = false;

    // Declared in this order so that the link goes before its port.
    std::unique_ptr<link::TCommPortDriver> serial_;
    std::unique_ptr<link::FbusLink> fbus_;
    phonesim::PhoneSimProcess* demoPhone_ = nullptr;
    QByteArray demoDevice_;
    bool pausing_ = false;
    // TMainTransfer.cpp. After the link, so that it goes first.
    struct TransferPartsDeleter {
        void operator()(TransferParts* parts) const;
    };
    std::unique_ptr<TransferParts, TransferPartsDeleter> transfer_;
};

} // namespace quorix
