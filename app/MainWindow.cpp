#include "app/MainWindow.h"

#include "app/BookPrinter.h"
#include "app/BookTable.h"
#include "app/BookTree.h"
#include "app/BookUndo.h"
#include "app/CommandActions.h"
#include "app/CsvImportDialog.h"
#include "app/Icons.h"
#include "app/InfoWindow.h"
#include "app/MessageBoxes.h"
#include "app/Placement.h"
#include "app/ProfileFile.h"
#include "app/ReleaseNotesWindow.h"
#include "app/StatusPanel.h"

#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

namespace quorix {

// The window's background: the phone picture and the credits are painted
// straight onto it, behind the controls.
class MainSurface : public QWidget {
public:
    using QWidget::QWidget;

    QRect phoneRect;
    int scale = 100;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (!phoneRect.isEmpty())
            icons::paintPhone(p, phoneRect);

        struct Line {
            int x, y;
            int points;
            bool bold;
            const char* text;
        };
        static const Line credits[] = {
            {14, 314, 8, false, "Special thanks to"},   {20, 330, 10, true, "Anna Lindqvist"},
            {20, 344, 10, true, "Jonas Berger"},        {14, 363, 8, false, "for their help on"},
            {14, 376, 8, false, "the FBUS-Interface!"},
        };
        p.setPen(palette().color(QPalette::WindowText));
        for (const Line& line : credits) {
            QFont f(QStringLiteral("Arial"));
            f.setPointSize(line.points);
            f.setBold(line.bold);
            p.setFont(f);
            // The credits move with the layout, so that on a large font setting
            // they stay below the phone picture instead of running into it.
            const QPoint at(line.x * scale / 100, line.y * scale / 100);
            p.drawText(QRect(at, QSize(width(), height())), Qt::AlignLeft | Qt::AlignTop,
                       QString::fromLatin1(line.text));
        }
    }
};

namespace {

// Design boxes at 96 dpi (left, top, width, height).
constexpr int DesignWidth = 505;
constexpr int DesignMinHeight = 376;
constexpr int DesignHeight = 395;
constexpr QRect TreeBox(144, 16, 345, 281);
constexpr int TreeGapAboveStatus = 13;
constexpr QRect NoticeBox(312, 2, 179, 13);
constexpr QRect PhoneBox(9, 184, 129, 126);
constexpr int ButtonSize = 41;

QToolButton* makeButton(QWidget* parent, const QString& caption, icons::Glyph glyph,
                        const QString& hint) {
    auto* b = new QToolButton(parent);
    b->setObjectName(caption.toLower() + QStringLiteral("Button"));
    b->setText(caption);
    b->setIcon(icons::glyph(glyph));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setToolTip(hint);
    b->setFocusPolicy(Qt::StrongFocus);
    b->setAutoFillBackground(true);
    return b;
}

QAction* makeAction(QObject* parent, const QString& text, const QKeySequence& key = {}) {
    auto* a = new QAction(text, parent);
    if (!key.isEmpty())
        a->setShortcut(key);
    return a;
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint) {
    // The settings file lives in the user's configuration folder, unless the
    // folder the program was started in has one of its own.
    startDir = QDir::currentPath();
    configPath_ = Config::locate(startDir);

    createLink();
    bookModel = new BookModel(this);
    commands_ = new CommandActions(this);
    // The kind icons follow the window's palette, light or dark.
    bookModel->setDecorationProvider(
        [this](int kind) { return QVariant(icons::kind(kind, palette())); });
    phonebook().bookFileName.clear();
    phonebook().bookChanged = false;
    phonebook().transferActive = false;

    setWindowIcon(icons::appIcon());
    scale_ = std::max(1, logicalDpiY() * 100 / 96);
    buildControls();
    buildMenus();
    // Files dropped on the window are opened or imported.
    setAcceptDrops(true);
    buildPopup();
    fillEditMenu();
    buildBookTable();
    connectEditing();
    buildFindBar();
    updateCaption();
    updateEntryCount();
    layoutControls();
    resize(scaled(DesignWidth), scaled(DesignHeight));
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls() {
    surface_ = new MainSurface(this);
    setCentralWidget(surface_);
    QFont small = font();
    small.setPointSize(8);
    surface_->setFont(small);

    // The buttons keep the design's places in a column of fixed width; the
    // column on the right (notice, find bar, tree or table) takes the rest.
    leftColumn_ = new QWidget(surface_);
    notice = new QLabel(QStringLiteral("(c) The Quorix developers"), surface_);
    QFont bold = small;
    bold.setPointSize(9);
    bold.setBold(true);
    notice->setFont(bold);

    bookGroup = new QGroupBox(QStringLiteral("Book"), leftColumn_);
    bookGroup->setObjectName(QStringLiteral("bookGroup"));
    bookGroup->setAutoFillBackground(true);
    saveButton = makeButton(bookGroup, QStringLiteral("Save"), icons::Glyph::Save,
                            QStringLiteral("Save phonebook to file"));
    loadButton = makeButton(bookGroup, QStringLiteral("Load"), icons::Glyph::Load,
                            QStringLiteral("Load phonebook from file"));
    sortButton = makeButton(bookGroup, QStringLiteral("Sort"), icons::Glyph::Sort,
                            QStringLiteral("Sort phonebook and subentries"));
    clearButton = makeButton(bookGroup, QStringLiteral("Clear"), icons::Glyph::Clear,
                             QStringLiteral("Clear the actual phonebook"));

    actionsGroup = new QGroupBox(QStringLiteral("Actions"), leftColumn_);
    actionsGroup->setObjectName(QStringLiteral("actionsGroup"));
    actionsGroup->setAutoFillBackground(true);
    readButton = makeButton(actionsGroup, QStringLiteral("Read"), icons::Glyph::Read,
                            QStringLiteral("Read phonebook from phone"));
    writeButton = makeButton(actionsGroup, QStringLiteral("Write"), icons::Glyph::Write,
                             QStringLiteral("Write phonebook into phone"));
    stopButton = makeButton(actionsGroup, QStringLiteral("Stop"), icons::Glyph::Stop,
                            QStringLiteral("Abort reading/writing"));

    debugBox = new QCheckBox(QStringLiteral("Debug"), leftColumn_);
    debugBox->setObjectName(QStringLiteral("debugBox"));
    QFont tiny = small;
    tiny.setPointSize(7);
    debugBox->setFont(tiny);

    exitButton = makeButton(leftColumn_, QStringLiteral("Exit"), icons::Glyph::Exit,
                            QStringLiteral("Exit the program"));

    tree = new BookTree(surface_);
    tree->setModel(bookModel);
    tree->setFont(font());

    auto* columns = new QHBoxLayout(surface_);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);
    columns->addWidget(leftColumn_);
    viewColumn_ = new QVBoxLayout;
    viewColumn_->setSpacing(0);
    viewColumn_->addWidget(notice, 0, Qt::AlignRight);
    viewColumn_->addSpacing(0); // between notice and tree: set by layoutControls()
    // The find bar, a gap below it while it shows, the tree or the table.
    views_ = new QVBoxLayout;
    views_->setSpacing(0);
    views_->addSpacing(0);
    views_->addWidget(tree, 1);
    viewColumn_->addLayout(views_, 1);
    columns->addLayout(viewColumn_, 1);

    connect(debugBox, &QCheckBox::toggled, this, &MainWindow::toggleTrace);

    connect(tree, &QTreeView::expanded, this, &MainWindow::onExpanded);
    connect(tree, &QTreeView::collapsed, this, &MainWindow::onCollapsed);
    connect(tree, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popup->popup(tree->viewport()->mapToGlobal(pos)); });

    connect(bookModel, &BookModel::entryCountChanged, this, &MainWindow::updateEntryCount);
    connect(bookModel, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent) {
        updateEntryCount();
        onRowsInserted(parent);
    });
    connect(bookModel, &QAbstractItemModel::rowsRemoved, this, &MainWindow::updateEntryCount);
    connect(bookModel, &QAbstractItemModel::modelReset, this, [this] {
        updateEntryCount();
        restoreExpansion();
    });

    // Status bar: progress, entry count, the note of the name under the pointer.
    // The design's 8 pt, as the rest of the window.
    QFont statusFont = font();
    statusFont.setPointSize(8);
    statusBar()->setFont(statusFont);
    // During Read and Write the progress bar stands beside the first panel, in
    // the place of the third.
    for (size_t i = 0; i < panels_.size(); ++i) {
        panels_[i] = new StatusPanel(this);
        panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panels_[i]->setObjectName(QStringLiteral("panel%1").arg(i + 1));
        // The first panel takes whatever room the others leave, so that the
        // transfer's texts are read whole.
        statusBar()->addWidget(panels_[i], i == 0 ? 1 : 0);
        if (i == 0) {
            progressBar = new QProgressBar(this);
            progressBar->setObjectName(QStringLiteral("progress"));
            progressBar->setTextVisible(true);
            progressBar->setFormat(QStringLiteral("%v / %m"));
            progressBar->hide();
            statusBar()->addWidget(progressBar);
        }
    }

    setTabOrder(exitButton, tree);
    setTabOrder(tree, saveButton);
    setTabOrder(saveButton, loadButton);
    setTabOrder(loadButton, sortButton);
    setTabOrder(sortButton, clearButton);
    setTabOrder(clearButton, readButton);
    setTabOrder(readButton, writeButton);
    setTabOrder(writeButton, stopButton);
    setTabOrder(stopButton, debugBox);
}

void MainWindow::buildMenus() {
    using During = CommandActions::During;
    // One action per command, registered by name; Refused ones wait while a
    // transfer runs.
    const auto command = [this](QMenu* menu, const char* id, const QString& text, During during,
                                const QKeySequence& key = {}) {
        QAction* a = commands_->add(QString::fromLatin1(id), makeAction(this, text, key), during);
        if (menu)
            menu->addAction(a);
        return a;
    };
    // Every menu and item has an Alt+letter access key; the shortcuts are the
    // old ones, with the keys of today's desktops beside them (Ctrl+Shift+S for
    // Save as, Ctrl+Q to quit).
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    newAction = command(file, "file.new", QStringLiteral("&New"), During::Refused);
    openAction = command(file, "file.open", QStringLiteral("&Open"), During::Refused,
                         QKeySequence(Qt::CTRL | Qt::Key_O));
    recentMenu = file->addMenu(QStringLiteral("Open &recent"));
    recentMenu->setObjectName(QStringLiteral("recentMenu"));
    saveAction = command(file, "file.save", QStringLiteral("&Save"), During::Refused,
                         QKeySequence(Qt::CTRL | Qt::Key_S));
    saveAsAction = command(file, "file.saveAs", QStringLiteral("Save &as"), During::Refused);
    // The menu shows the first; Ctrl+A still saves as it always did.
    saveAsAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), QKeySequence(Qt::CTRL | Qt::Key_A)});
    file->addSeparator();
    QMenu* import = file->addMenu(QStringLiteral("&Import"));
    importCsvAction = command(import, "file.importCsv",
                              QStringLiteral("&Comma Separated Values (*.csv)"), During::Refused);
    import9110Action = command(import, "file.import9110",
                               QStringLiteral("Nokia Communicator &9110 file"), During::Refused);
    importVCardAction =
        command(import, "file.importVCard", QStringLiteral("&vCard file..."), During::Refused);
    QMenu* exportMenu = file->addMenu(QStringLiteral("&Export"));
    exportVCardAction =
        command(exportMenu, "file.exportVCard", QStringLiteral("&vCard file..."), During::Refused);
    exportCsvAction =
        command(exportMenu, "file.exportCsv", QStringLiteral("&CSV file..."), During::Refused);
    exportGoogleCsvAction = command(exportMenu, "file.exportGoogleCsv",
                                    QStringLiteral("CSV for &Google Contacts..."), During::Refused);
    restoreBackupAction = command(file, "file.restoreBackup",
                                  QStringLiteral("Restore from &backup..."), During::Refused);
    file->addSeparator();
    connect(command(file, "file.print", QStringLiteral("&Print..."), During::Refused,
                    QKeySequence(QKeySequence::Print)),
            &QAction::triggered, this, [this] { BookPrinter::printWithDialog(this, phonebook()); });
    connect(
        command(file, "file.printPreview", QStringLiteral("Print pre&view..."), During::Refused),
        &QAction::triggered, this, [this] { BookPrinter::preview(this, phonebook()); });
    file->addSeparator();
    exitAction = command(file, "file.exit", QStringLiteral("E&xit"), During::Allowed,
                         QKeySequence(Qt::CTRL | Qt::Key_Q));
    buildEditMenu();
    buildViewMenu();

    QMenu* connection = menuBar()->addMenu(QStringLiteral("&Connection"));
    setupAction = command(connection, "connection.setup", QStringLiteral("&Setup"), During::Refused,
                          QKeySequence(Qt::Key_F10));

    QMenu* transfer = menuBar()->addMenu(QStringLiteral("&Transfer"));
    readAction = command(transfer, "transfer.read", QStringLiteral("&Read from phone"),
                         During::Refused, QKeySequence(Qt::Key_F5));
    writeAction = command(transfer, "transfer.write", QStringLiteral("&Write to phone"),
                          During::Refused, QKeySequence(Qt::Key_F6));
    writeChangesAction = command(transfer, "transfer.writeChanges",
                                 QStringLiteral("Write &changes"), During::Refused);
    compareAction = command(transfer, "transfer.compare", QStringLiteral("C&ompare with phone"),
                            During::Refused);
    transfer->addSeparator();
    stopAction = command(transfer, "transfer.stop", QStringLiteral("&Stop"), During::Allowed);
    transferMenu_ = transfer;
    // In the Edit menu (fillEditMenu()) and on its button.
    clearAction = command(nullptr, "book.clear", QStringLiteral("C&lear book"), During::Refused);

    QMenu* extras = menuBar()->addMenu(QStringLiteral("E&xtras"));
    sortAction = command(extras, "extras.sort", QStringLiteral("&Sort book"), During::Refused,
                         QKeySequence(Qt::Key_F4));
    flipAction = command(extras, "extras.flip", QStringLiteral("&Flip book"), During::Refused);
    findDuplicatesAction = command(extras, "extras.findDuplicates",
                                   QStringLiteral("Find &duplicates..."), During::Refused);
    addRecordAction(extras);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    releaseNotesAction = command(help, "help.releaseNotes", QStringLiteral("&Release Notes"),
                                 During::Refused, QKeySequence(Qt::Key_F1));
    aboutAction = command(help, "help.about", QStringLiteral("&About"), During::Refused);

    fillRecentMenu();
    connect(newAction, &QAction::triggered, this, &MainWindow::newBook);
    connect(openAction, &QAction::triggered, this, &MainWindow::openFile);
    connect(saveAction, &QAction::triggered, this, &MainWindow::saveFile);
    connect(saveAsAction, &QAction::triggered, this, &MainWindow::saveFileAs);
    connect(importCsvAction, &QAction::triggered, this, &MainWindow::importCsvFile);
    connect(import9110Action, &QAction::triggered, this, &MainWindow::import9110File);
    connect(importVCardAction, &QAction::triggered, this, [this] { importVCardFile(); });
    connect(exportVCardAction, &QAction::triggered, this, &MainWindow::exportVCardFile);
    connect(exportCsvAction, &QAction::triggered, this, &MainWindow::exportCsvFile);
    connect(exportGoogleCsvAction, &QAction::triggered, this, &MainWindow::exportGoogleCsvFile);
    connect(restoreBackupAction, &QAction::triggered, this, &MainWindow::restoreFromBackup);
    connect(exitAction, &QAction::triggered, this, &QWidget::close);
    connect(setupAction, &QAction::triggered, this, &MainWindow::setupConnection);
    connect(readAction, &QAction::triggered, this, &MainWindow::startRead);
    connect(writeAction, &QAction::triggered, this, &MainWindow::startWrite);
    connect(writeChangesAction, &QAction::triggered, this, &MainWindow::writeChanges);
    connect(compareAction, &QAction::triggered, this, &MainWindow::compareWithPhone);
    connect(stopAction, &QAction::triggered, this, &MainWindow::requestStop);
    connect(clearAction, &QAction::triggered, this, &MainWindow::clearBook);
    connect(sortAction, &QAction::triggered, this, &MainWindow::sortBook);
    connect(flipAction, &QAction::triggered, this, &MainWindow::flipBook);
    connect(findDuplicatesAction, &QAction::triggered, this, &MainWindow::findDuplicates);
    connect(releaseNotesAction, &QAction::triggered, this, &MainWindow::showReleaseNotes);
    connect(aboutAction, &QAction::triggered, this, &MainWindow::showAbout);

    // The buttons run the same actions.
    CommandActions::bind(saveButton, saveAction);
    CommandActions::bind(loadButton, openAction);
    CommandActions::bind(sortButton, sortAction);
    CommandActions::bind(clearButton, clearAction);
    CommandActions::bind(readButton, readAction);
    CommandActions::bind(writeButton, writeAction);
    CommandActions::bind(stopButton, stopAction);
    CommandActions::bind(exitButton, exitAction);
}

void MainWindow::buildPopup() {
    using During = CommandActions::During;
    popup = new QMenu(this);
    // The popup's shortcuts act while the tree has the keyboard focus.
    const auto onTree = [this](const QString& id, QAction* a, During during = During::Allowed) {
        a->setShortcutContext(Qt::WidgetShortcut);
        tree->addAction(a);
        return commands_->add(id, a, during);
    };

    QMenu* type = popup->addMenu(QStringLiteral("Change &type"));
    static const char* const typeNames[] = {"&General", "&Mobile", "&Home",           "&Office",
                                            "&Fax",     "&E-Mail", "&Postal Address", "&Note"};
    for (int i = 0; i < static_cast<int>(changeTypeActions.size()); ++i) {
        const int kind = KindGeneral + i;
        if (kind == KindEMail)
            type->addSeparator();
        QAction* a = onTree(QStringLiteral("tree.type%1").arg(kind),
                            makeAction(type, QString::fromLatin1(typeNames[i]),
                                       QKeySequence(Qt::SHIFT | (Qt::Key_F1 + i))));
        a->setIcon(icons::kind(kind));
        type->addAction(a);
        connect(a, &QAction::triggered, this, [this, kind] { changeType(kind); });
        changeTypeActions[static_cast<size_t>(i)] = a;
    }

    QMenu* group = popup->addMenu(QStringLiteral("Add to &group"));
    static const char* const groupItems[] = {"",         "&Family",     "&VIP",
                                             "F&riends", "&Colleagues", "&Other"};
    group->setIcon(icons::kind(KindCallerGroup));
    for (int n = 1; n <= static_cast<int>(groupActions.size()); ++n) {
        QAction* a = onTree(QStringLiteral("tree.group%1").arg(n),
                            makeAction(group, QString::fromLatin1(groupItems[n]),
                                       QKeySequence(Qt::CTRL | (Qt::Key_F1 + n - 1))));
        a->setIcon(icons::kind(KindCallerGroup));
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, n] { setGroup(n); });
        groupActions[static_cast<size_t>(n - 1)] = a;
    }
    popup->addSeparator();

    editAction = onTree(QStringLiteral("tree.edit"), makeAction(popup, QStringLiteral("&Edit")));
    // Either Enter key; the menu names the first, as "Shift+Enter".
    editAction->setShortcuts(
        {QKeySequence(Qt::SHIFT | Qt::Key_Enter), QKeySequence(Qt::SHIFT | Qt::Key_Return)});
    newEntryAction =
        onTree(QStringLiteral("tree.newEntry"),
               makeAction(popup, QStringLiteral("&New entry"), QKeySequence(Qt::CTRL | Qt::Key_N)));
    newEntryAction->setIcon(icons::kind(KindGeneral));
    newTextEntryAction = onTree(
        QStringLiteral("tree.newTextEntry"),
        makeAction(popup, QStringLiteral("New te&xt entry"), QKeySequence(Qt::CTRL | Qt::Key_M)));
    newTextEntryAction->setIcon(icons::kind(KindNote));
    newNameAction =
        onTree(QStringLiteral("tree.newName"),
               makeAction(popup, QStringLiteral("New n&ame"), QKeySequence(Qt::CTRL | Qt::Key_B)));
    newNameAction->setIcon(icons::kind(KindNameCollapsed));
    // Delete as well as the old Shift+Del.
    deleteAction =
        onTree(QStringLiteral("tree.delete"), makeAction(popup, QStringLiteral("&Delete")));
    deleteAction->setShortcuts(
        {QKeySequence(Qt::SHIFT | Qt::Key_Delete), QKeySequence(Qt::Key_Delete)});
    popup->addActions(
        {editAction, newEntryAction, newTextEntryAction, newNameAction, deleteAction});
    popup->addSeparator();
    rewriteAction = onTree(
        QStringLiteral("tree.rewrite"),
        makeAction(popup, QStringLiteral("Rewr&ite entry"), QKeySequence(Qt::CTRL | Qt::Key_R)),
        During::Refused);
    popup->addAction(rewriteAction);
    popup->addSeparator();
    expandAllAction =
        onTree(QStringLiteral("tree.expandAll"),
               makeAction(popup, QStringLiteral("Ex&pand all"), QKeySequence(Qt::Key_F2)));
    expandAllAction->setIcon(icons::kind(KindNameExpanded));
    collapseAllAction =
        onTree(QStringLiteral("tree.collapseAll"),
               makeAction(popup, QStringLiteral("&Collapse all"), QKeySequence(Qt::Key_F3)));
    collapseAllAction->setIcon(icons::kind(KindNameCollapsed));
    popup->addActions({expandAllAction, collapseAllAction});

    connect(editAction, &QAction::triggered, this, &MainWindow::editNode);
    connect(newEntryAction, &QAction::triggered, this, &MainWindow::newEntry);
    connect(newTextEntryAction, &QAction::triggered, this, &MainWindow::newTextEntry);
    connect(newNameAction, &QAction::triggered, this, &MainWindow::newName);
    connect(deleteAction, &QAction::triggered, this, &MainWindow::deleteNode);
    connect(rewriteAction, &QAction::triggered, this, &MainWindow::rewriteEntry);
    connect(expandAllAction, &QAction::triggered, this, &MainWindow::expandAll);
    connect(collapseAllAction, &QAction::triggered, this, &MainWindow::collapseAll);
}

void MainWindow::layoutControls() {
    const auto box = [this](int x, int y, int w, int h) {
        return QRect(scaled(x), scaled(y), scaled(w), scaled(h));
    };
    const auto button = [&](QWidget* b, int x, int y) {
        b->setGeometry(box(x, y, ButtonSize, ButtonSize));
        if (auto* tb = qobject_cast<QToolButton*>(b))
            tb->setIconSize(QSize(scaled(20), scaled(20)));
    };
    surface_->scale = scale_;
    leftColumn_->setFixedWidth(scaled(TreeBox.x()));
    bookGroup->setGeometry(box(8, 8, 57, 209));
    button(saveButton, 8, 16);
    button(loadButton, 8, 64);
    button(sortButton, 8, 112);
    button(clearButton, 8, 160);
    actionsGroup->setGeometry(box(72, 8, 57, 161));
    button(readButton, 8, 16);
    button(writeButton, 8, 64);
    button(stopButton, 8, 112);
    // The caption must not be cut short where the system font is wider.
    debugBox->setGeometry(box(8, 218, 41, 17));
    debugBox->resize(std::max(debugBox->width(), debugBox->sizeHint().width()), debugBox->height());
    button(exitButton, 96, 262);

    // At the design width the notice and the tree stand where the design puts
    // them; what the window is wider than that goes to the tree.
    const int designClient = scaled(DesignWidth) - frameWidth_;
    const int noticeRight = std::max(0, designClient - scaled(NoticeBox.right() + 1));
    const int treeRight = std::max(0, designClient - scaled(TreeBox.right() + 1));
    notice->setFixedSize(scaled(NoticeBox.width()), scaled(NoticeBox.height()));
    viewColumn_->setContentsMargins(0, scaled(NoticeBox.y()), noticeRight,
                                    scaled(TreeGapAboveStatus));
    viewColumn_->itemAt(1)->spacerItem()->changeSize(
        0, scaled(TreeBox.y()) - scaled(NoticeBox.y()) - scaled(NoticeBox.height()));
    views_->setContentsMargins(0, 0, std::max(0, treeRight - noticeRight), 0);
    viewColumn_->invalidate();

    panels_[0]->setMinimumWidth(scaled(200));
    panels_[1]->setFixedWidth(scaled(100));
    panels_[2]->setFixedWidth(scaled(100));
    progressBar->setFixedWidth(scaled(100));
    statusBar()->setFixedHeight(scaled(20));
    placeFindBar();
}

QRect MainWindow::phonePictureRect() const {
    return surface_->phoneRect;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        firstShow();
    }
}

void MainWindow::firstShow() {
    scale_ = std::max(1, logicalDpiY() * 100 / 96);
    if (infoWindow)
        infoWindow->setScale(scale_);

    // Size limits and place, counted on the window's frame as the window
    // system sees it: never smaller than the design, as large as one likes.
    QMargins frame;
    if (windowHandle())
        frame = windowHandle()->frameMargins();
    frameWidth_ = frame.left() + frame.right();
    layoutControls();
    const QSize smallest(scaled(DesignWidth) - frameWidth_,
                         scaled(DesignMinHeight) - frame.top() - frame.bottom());
    setMinimumSize(smallest);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (QScreen* s = screen()) {
        defaultPlace_ = placeMainWindow(s->geometry(), scaled(DesignWidth), scaled(DesignMinHeight))
                            .marginsRemoved(frame);
        const QRect kept = keptPlace(smallest);
        setGeometry(kept.isValid() ? kept : defaultPlace_);
    }
    surface_->phoneRect = QRect(scaled(PhoneBox.x()), scaled(PhoneBox.y()),
                                scaled(PhoneBox.width()), scaled(PhoneBox.height()));
    surface_->update();

    // The info window comes up once the main window stands; start-up goes on
    // when it has been closed.
    QTimer::singleShot(0, this, [this] {
        if (infoAtStart_ && infoWindow) {
            connect(infoWindow, &QDialog::finished, this, &MainWindow::finishStartup,
                    Qt::SingleShotConnection);
            infoWindow->setWindowModality(Qt::ApplicationModal);
            infoWindow->show();
        } else {
            finishStartup();
        }
    });
}

QRect MainWindow::keptPlace(const QSize& smallest) const {
    // Read ahead of the other settings: the window stands before they are read.
    ProfileFile file(configPath_);
    file.load();
    QRect place = WindowPlace::read(file);
    if (!place.isValid())
        return {};
    place.setSize(place.size().expandedTo(smallest));
    // A place on a screen that is no longer there (or that shows too little of
    // the caption to grab it) gives the default place.
    for (const QScreen* s : QGuiApplication::screens()) {
        const QRect seen = s->availableGeometry() & place;
        if (seen.width() >= scaled(100) && seen.top() == place.top())
            return place;
    }
    return {};
}

void MainWindow::openWhenStarted(const QString& path) {
    const QString full = QFileInfo(path).absoluteFilePath();
    connect(this, &MainWindow::startupFinished, this, [this, full] { openPath(full); });
}

void MainWindow::finishStartup() {
    readConfig();
    Q_EMIT startupFinished();
}

void MainWindow::createWindows() {
    if (!infoWindow)
        infoWindow = new InfoWindow(this, scale_);
    if (!csvImportDialog)
        csvImportDialog = new CsvImportDialog(*this);
    createLinkWindows();
}

void MainWindow::readConfig() {
    // Whatever cannot be read gives the defaults, without a word.
    ProfileFile file(configPath_);
    file.load();
    config = Config::read(file);
    setTableView(config.tableView);
    editor_->setNumberPrefix(config.numberPrefix);
    // Files opened before the settings were read stay on top.
    QStringList recent = RecentFiles::read(file);
    for (auto it = recentFiles_.crbegin(); it != recentFiles_.crend(); ++it)
        recent = RecentFiles::added(recent, *it);
    recentFiles_ = recent;
    fillRecentMenu();
    configLoaded_ = true;
}

bool MainWindow::writeConfig() {
    // Other sections and keys of the file stay as they are on disk now.
    ProfileFile file(configPath_);
    QString error;
    // The configuration folder is made on first use.
    const QString folder = QFileInfo(configPath_).absolutePath();
    bool ok = QDir().mkpath(folder);
    if (!ok)
        error = QStringLiteral("The folder \"%1\" cannot be created.")
                    .arg(QDir::toNativeSeparators(folder));
    if (ok)
        ok = file.load(&error);
    if (ok) {
        Config kept = config;
        // Setup changes made in a demo run stay out of the file.
        if (demoRun_)
            kept.takeSetupFrom(Config::read(file));
        kept.write(file);
        RecentFiles::write(file, recentFiles_);
        // The place is kept once the user has moved or sized the window; the
        // default one follows the screen of the day.
        const QRect place =
            isMaximized() || isMinimized() || isFullScreen() ? normalGeometry() : geometry();
        if (shown_ && (place != defaultPlace_ || WindowPlace::read(file).isValid()))
            WindowPlace::write(file, place);
        ok = file.save(&error);
    }
    if (!ok)
        MessageBoxes::error(this, QStringLiteral("Unable to write to \"%1\":\r%2")
                                      .arg(QDir::toNativeSeparators(configPath_), error));
    return ok;
}

void MainWindow::addRecentFile(const QString& path) {
    recentFiles_ = RecentFiles::added(recentFiles_, QFileInfo(path).absoluteFilePath());
    fillRecentMenu();
}

void MainWindow::fillRecentMenu() {
    // Deleted later: this may run inside one of these actions' own signal.
    for (QAction* old : recentMenu->actions()) {
        recentMenu->removeAction(old);
        old->deleteLater();
    }
    for (int i = 0; i < recentFiles_.size(); ++i) {
        const QString path = recentFiles_[i];
        // "&1 book.pbf" .. "&8 ...": the number is the access key; the folder
        // is in the tool tip and the status tip.
        QString label = QFileInfo(path).fileName();
        label.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* a = recentMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(label));
        a->setToolTip(QDir::toNativeSeparators(path));
        a->setStatusTip(QDir::toNativeSeparators(path));
        connect(a, &QAction::triggered, this, [this, path] { openRecent(path); });
    }
    recentMenu->setToolTipsVisible(true);
    if (!recentFiles_.isEmpty()) {
        recentMenu->addSeparator();
        QAction* clear = recentMenu->addAction(QStringLiteral("&Clear list"));
        connect(clear, &QAction::triggered, this, [this] {
            recentFiles_.clear();
            fillRecentMenu();
        });
    }
    recentMenu->menuAction()->setEnabled(!recentFiles_.isEmpty());
}

bool MainWindow::confirmClose() {
    Book& b = phonebook();
    if (b.transferActive)
        return false;
    if (!b.bookChanged)
        return true;
    const QString name =
        b.bookFileName.isEmpty()
            ? QStringLiteral("the new book")
            : QLatin1Char('"') + QFileInfo(b.bookFileName).fileName() + QLatin1Char('"');
    // Yes/No/Cancel underneath; the buttons say what they do.
    const auto answer = MessageBoxes::ask(
        this, Question{QStringLiteral("Book changed!"),
                       QStringLiteral("Save changes to ") + name + QLatin1Char('?'),
                       QMessageBox::Question,
                       QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                       {{QMessageBox::Yes, QStringLiteral("&Save")},
                        {QMessageBox::No, QStringLiteral("Do&n't Save")},
                        {QMessageBox::Cancel, QStringLiteral("Cancel")}}});
    switch (answer) {
    case QMessageBox::Yes:
        // A save that was cancelled or failed must not lose the book.
        return saveBook();
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!confirmClose()) {
        event->ignore();
        return;
    }
    closeLink();
    // Settings that were never read are not written over; a failed write is
    // reported and the window closes all the same.
    if (configLoaded_)
        writeConfig();
    event->accept();
}

void MainWindow::setPanel(int panel, const QString& text) {
    panels_.at(static_cast<size_t>(panel))->setFullText(text);
}

QString MainWindow::panelText(int panel) const {
    return panels_.at(static_cast<size_t>(panel))->fullText();
}

void MainWindow::showProgress(int done, int total) {
    progressBar->setRange(0, std::max(total, 1));
    progressBar->setValue(std::clamp(done, 0, progressBar->maximum()));
    progressBar->setToolTip(
        QStringLiteral("Entry %1 of %2").arg(progressBar->value()).arg(progressBar->maximum()));
    panels_[2]->hide();
    progressBar->show();
}

void MainWindow::hideProgress() {
    progressBar->hide();
    panels_[2]->show();
}

void MainWindow::setTransferActive(bool active) {
    commands_->setTransferActive(active);
    bookUndo->setTransferActive(active);
    if (!active)
        hideProgress();
}

void MainWindow::updateEntryCount() {
    setPanel(1, QString::number(phonebook().entryCount()) + QStringLiteral(" entries."));
}

void MainWindow::updateCaption() {
    const QString& file = phonebook().bookFileName;
    setWindowTitle(file.isEmpty() ? QStringLiteral("Quorix")
                                  : QStringLiteral("Quorix - ") + QFileInfo(file).fileName());
}

void MainWindow::showAbout() {
    if (!infoWindow)
        return;
    infoWindow->setWindowModality(Qt::ApplicationModal);
    infoWindow->show();
}

void MainWindow::showReleaseNotes() {
    const QString path = ReleaseNotesWindow::find(startDir);
    if (path.isEmpty()) {
        QStringList places;
        for (const QString& dir : ReleaseNotesWindow::places(startDir))
            places << QDir::toNativeSeparators(dir);
        MessageBoxes::error(this, QStringLiteral("\"%1\" was not found in:\r%2")
                                      .arg(QString::fromLatin1(ReleaseNotesWindow::FileName),
                                           places.join(QLatin1Char('\r'))));
        return;
    }
    if (!releaseNotesWindow)
        releaseNotesWindow = new ReleaseNotesWindow(this);
    QString error;
    if (!releaseNotesWindow->load(path, &error)) {
        MessageBoxes::error(this, QDir::toNativeSeparators(path) + QLatin1Char('\r') + error);
        return;
    }
    releaseNotesWindow->show();
    releaseNotesWindow->raise();
    releaseNotesWindow->activateWindow();
}

} // namespace quorix
