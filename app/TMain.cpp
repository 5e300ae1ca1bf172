#include "app/TMain.h"

#include "app/BookTree.h"
#include "app/Icons.h"
#include "app/MessageBoxes.h"
#include "app/Placement.h"
#include "app/ProfileFile.h"
#include "app/Tcsvimport.h"
#include "app/Tinfownd.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
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
constexpr QRect PhoneBox(9, 184, 129, 126);
constexpr int ButtonSize = 41;

QToolButton* makeButton(QWidget* parent, const QString& caption, icons::Glyph glyph,
                        const QString& hint) {
    auto* b = new QToolButton(parent);
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

TMain::TMain(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint) {
    // The settings file belongs to the directory the program was started in.
    configPath_ = QDir::current().absoluteFilePath(QString::fromLatin1(Config::FileName));
    startdir = QFileInfo(configPath_).absolutePath();

    createLink();
    bookmodel = new BookModel(this);
    bookmodel->setDecorationProvider([](int kind) { return QVariant(icons::kind(kind)); });
    phonebook().bookfilename.clear();
    phonebook().bookchanged = false;
    phonebook().transferactive = false;

    setWindowIcon(icons::appIcon());
    scale_ = std::max(1, logicalDpiY() * 100 / 96);
    buildControls();
    buildMenus();
    buildPopup();
    connectEditing();
    updateCaption();
    updateEntryCount();
    layoutControls();
    resize(scaled(DesignWidth), scaled(DesignHeight));
}

TMain::~TMain() = default;

void TMain::buildControls() {
    surface_ = new MainSurface(this);
    setCentralWidget(surface_);
    QFont small = font();
    small.setPointSize(8);
    surface_->setFont(small);

    notice = new QLabel(QStringLiteral("(c) The Quorix developers"), surface_);
    QFont bold = small;
    bold.setPointSize(9);
    bold.setBold(true);
    notice->setFont(bold);

    bookGroup = new QGroupBox(QStringLiteral("Book"), surface_);
    bookGroup->setAutoFillBackground(true);
    save = makeButton(bookGroup, QStringLiteral("Save"), icons::Glyph::Save,
                      QStringLiteral("Save phonebook to file"));
    load = makeButton(bookGroup, QStringLiteral("Load"), icons::Glyph::Load,
                      QStringLiteral("Load phonebook from file"));
    sort = makeButton(bookGroup, QStringLiteral("Sort"), icons::Glyph::Sort,
                      QStringLiteral("Sort phonebook and subentries"));
    clear = makeButton(bookGroup, QStringLiteral("Clear"), icons::Glyph::Clear,
                       QStringLiteral("Clear the actual phonebook"));

    actionsGroup = new QGroupBox(QStringLiteral("Actions"), surface_);
    actionsGroup->setAutoFillBackground(true);
    read = makeButton(actionsGroup, QStringLiteral("Read"), icons::Glyph::Read,
                      QStringLiteral("Read phonebook from phone"));
    write = makeButton(actionsGroup, QStringLiteral("Write"), icons::Glyph::Write,
                       QStringLiteral("Write phonebook into phone"));
    stop = makeButton(actionsGroup, QStringLiteral("Stop"), icons::Glyph::Stop,
                      QStringLiteral("Abort reading/writing"));

    dodebug = new QCheckBox(QStringLiteral("Debug"), surface_);
    QFont tiny = small;
    tiny.setPointSize(7);
    dodebug->setFont(tiny);

    exitButton = makeButton(surface_, QStringLiteral("Exit"), icons::Glyph::Exit,
                            QStringLiteral("Exit the program"));

    book = new BookTree(surface_);
    book->setModel(bookmodel);
    book->setFont(font());

    connect(save, &QToolButton::clicked, this, &TMain::saveClick);
    connect(load, &QToolButton::clicked, this, &TMain::openClick);
    connect(sort, &QToolButton::clicked, this, &TMain::sortClick);
    connect(clear, &QToolButton::clicked, this, &TMain::clearClick);
    connect(read, &QToolButton::clicked, this, &TMain::readClick);
    connect(write, &QToolButton::clicked, this, &TMain::writeClick);
    connect(stop, &QToolButton::clicked, this, &TMain::stopClick);
    connect(exitButton, &QToolButton::clicked, this, &QWidget::close);
    connect(dodebug, &QCheckBox::toggled, this, &TMain::dodebugClick);

    connect(book, &QTreeView::expanded, this, &TMain::bookExpanded);
    connect(book, &QTreeView::collapsed, this, &TMain::bookCollapsed);
    connect(book, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popup->popup(book->viewport()->mapToGlobal(pos)); });

    connect(bookmodel, &BookModel::entryCountChanged, this, &TMain::updateEntryCount);
    connect(bookmodel, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent) {
        updateEntryCount();
        bookRowsInserted(parent);
    });
    connect(bookmodel, &QAbstractItemModel::rowsRemoved, this, &TMain::updateEntryCount);
    connect(bookmodel, &QAbstractItemModel::modelReset, this, [this] {
        updateEntryCount();
        restoreExpansion();
    });

    // Status bar: progress, entry count, the note of the name under the pointer.
    for (size_t i = 0; i < panels_.size(); ++i) {
        panels_[i] = new QLabel(this);
        panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panels_[i]->setObjectName(QStringLiteral("panel%1").arg(i + 1));
        statusBar()->addWidget(panels_[i]);
    }

    setTabOrder(exitButton, book);
    setTabOrder(book, save);
    setTabOrder(save, load);
    setTabOrder(load, sort);
    setTabOrder(sort, clear);
    setTabOrder(clear, read);
    setTabOrder(read, write);
    setTabOrder(write, stop);
    setTabOrder(stop, dodebug);
}

void TMain::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    mnew = file->addAction(QStringLiteral("New"));
    mopen = file->addAction(QStringLiteral("Open"));
    mopen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    msave = file->addAction(QStringLiteral("Save"));
    msave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    msaveas = file->addAction(QStringLiteral("Save as"));
    msaveas->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    file->addSeparator();
    QMenu* import = file->addMenu(QStringLiteral("Import"));
    mimportcsv = import->addAction(QStringLiteral("Comma Separated Values (*.csv)"));
    mimport9110 = import->addAction(QStringLiteral("Nokia Communicator 9110 file"));
    file->addSeparator();
    mexit = file->addAction(QStringLiteral("Exit"));

    QMenu* connection = menuBar()->addMenu(QStringLiteral("&Connection"));
    msetup = connection->addAction(QStringLiteral("Setup"));
    msetup->setShortcut(QKeySequence(Qt::Key_F10));

    QMenu* transfer = menuBar()->addMenu(QStringLiteral("&Transfer"));
    mread = transfer->addAction(QStringLiteral("Read from phone"));
    mread->setShortcut(QKeySequence(Qt::Key_F5));
    mwrite = transfer->addAction(QStringLiteral("Write to phone"));
    mwrite->setShortcut(QKeySequence(Qt::Key_F6));

    QMenu* extras = menuBar()->addMenu(QStringLiteral("&Extras"));
    msort = extras->addAction(QStringLiteral("Sort book"));
    msort->setShortcut(QKeySequence(Qt::Key_F4));
    mflip = extras->addAction(QStringLiteral("Flip book"));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    mreleasenotes = help->addAction(QStringLiteral("Release Notes"));
    mreleasenotes->setShortcut(QKeySequence(Qt::Key_F1));
    mabout = help->addAction(QStringLiteral("About"));

    connect(mnew, &QAction::triggered, this, &TMain::newClick);
    connect(mopen, &QAction::triggered, this, &TMain::openClick);
    connect(msave, &QAction::triggered, this, &TMain::saveClick);
    connect(msaveas, &QAction::triggered, this, &TMain::saveasClick);
    connect(mimportcsv, &QAction::triggered, this, &TMain::csvimportClick);
    connect(mimport9110, &QAction::triggered, this, &TMain::import9110Click);
    connect(mexit, &QAction::triggered, this, &QWidget::close);
    connect(msetup, &QAction::triggered, this, &TMain::setupClick);
    connect(mread, &QAction::triggered, this, &TMain::readClick);
    connect(mwrite, &QAction::triggered, this, &TMain::writeClick);
    connect(msort, &QAction::triggered, this, &TMain::sortClick);
    connect(mflip, &QAction::triggered, this, &TMain::flipClick);
    connect(mreleasenotes, &QAction::triggered, this, &TMain::releasenotesClick);
    connect(mabout, &QAction::triggered, this, &TMain::aboutClick);
}

void TMain::buildPopup() {
    popup = new QMenu(this);
    // The popup's shortcuts act while the tree has the keyboard focus.
    const auto onTree = [this](QAction* a) {
        a->setShortcutContext(Qt::WidgetShortcut);
        book->addAction(a);
        return a;
    };

    QMenu* type = popup->addMenu(QStringLiteral("Change type"));
    static const char* const typeNames[] = {"General", "Mobile", "Home",           "Office",
                                            "Fax",     "E-Mail", "Postal Address", "Note"};
    for (int i = 0; i < static_cast<int>(ptype.size()); ++i) {
        const int kind = KindGeneral + i;
        if (kind == KindEMail)
            type->addSeparator();
        QAction* a = onTree(makeAction(type, QString::fromLatin1(typeNames[i]),
                                       QKeySequence(Qt::SHIFT | (Qt::Key_F1 + i))));
        a->setIcon(icons::kind(kind));
        type->addAction(a);
        connect(a, &QAction::triggered, this, [this, kind] { settype(kind); });
        ptype[static_cast<size_t>(i)] = a;
    }

    QMenu* group = popup->addMenu(QStringLiteral("Add to group"));
    group->setIcon(icons::kind(KindCallerGroup));
    for (int n = 1; n <= static_cast<int>(pgroup.size()); ++n) {
        QAction* a = onTree(makeAction(group, QString::fromLatin1(groupnames[n]),
                                       QKeySequence(Qt::CTRL | (Qt::Key_F1 + n - 1))));
        a->setIcon(icons::kind(KindCallerGroup));
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, n] { setgroup(n); });
        pgroup[static_cast<size_t>(n - 1)] = a;
    }
    popup->addSeparator();

    pedit = onTree(makeAction(popup, QStringLiteral("Edit")));
    // Either Enter key; the menu names the first, as "Shift+Enter".
    pedit->setShortcuts(
        {QKeySequence(Qt::SHIFT | Qt::Key_Enter), QKeySequence(Qt::SHIFT | Qt::Key_Return)});
    pnewentry =
        onTree(makeAction(popup, QStringLiteral("New entry"), QKeySequence(Qt::CTRL | Qt::Key_N)));
    pnewentry->setIcon(icons::kind(KindGeneral));
    pnewtextentry = onTree(
        makeAction(popup, QStringLiteral("New text entry"), QKeySequence(Qt::CTRL | Qt::Key_M)));
    pnewtextentry->setIcon(icons::kind(KindNote));
    pnewname =
        onTree(makeAction(popup, QStringLiteral("New name"), QKeySequence(Qt::CTRL | Qt::Key_B)));
    pnewname->setIcon(icons::kind(KindNameCollapsed));
    pdelete = onTree(
        makeAction(popup, QStringLiteral("Delete"), QKeySequence(Qt::SHIFT | Qt::Key_Delete)));
    popup->addActions({pedit, pnewentry, pnewtextentry, pnewname, pdelete});
    popup->addSeparator();
    prewrite = onTree(
        makeAction(popup, QStringLiteral("Rewrite entry"), QKeySequence(Qt::CTRL | Qt::Key_R)));
    popup->addAction(prewrite);
    popup->addSeparator();
    pexpandall = onTree(makeAction(popup, QStringLiteral("Expand all"), QKeySequence(Qt::Key_F2)));
    pexpandall->setIcon(icons::kind(KindNameExpanded));
    pcollapseall =
        onTree(makeAction(popup, QStringLiteral("Collapse all"), QKeySequence(Qt::Key_F3)));
    pcollapseall->setIcon(icons::kind(KindNameCollapsed));
    popup->addActions({pexpandall, pcollapseall});

    connect(pedit, &QAction::triggered, this, &TMain::editClick);
    connect(pnewentry, &QAction::triggered, this, &TMain::newentryClick);
    connect(pnewtextentry, &QAction::triggered, this, &TMain::newtextentryClick);
    connect(pnewname, &QAction::triggered, this, &TMain::newnameClick);
    connect(pdelete, &QAction::triggered, this, &TMain::deleteClick);
    connect(prewrite, &QAction::triggered, this, &TMain::rewriteClick);
    connect(pexpandall, &QAction::triggered, this, &TMain::expandallClick);
    connect(pcollapseall, &QAction::triggered, this, &TMain::collapseallClick);
}

void TMain::layoutControls() {
    const auto box = [this](int x, int y, int w, int h) {
        return QRect(scaled(x), scaled(y), scaled(w), scaled(h));
    };
    const auto button = [&](QWidget* b, int x, int y) {
        b->setGeometry(box(x, y, ButtonSize, ButtonSize));
        if (auto* tb = qobject_cast<QToolButton*>(b))
            tb->setIconSize(QSize(scaled(20), scaled(20)));
    };
    surface_->scale = scale_;
    notice->setGeometry(box(312, 2, 179, 13));
    bookGroup->setGeometry(box(8, 8, 57, 209));
    button(save, 8, 16);
    button(load, 8, 64);
    button(sort, 8, 112);
    button(clear, 8, 160);
    actionsGroup->setGeometry(box(72, 8, 57, 161));
    button(read, 8, 16);
    button(write, 8, 64);
    button(stop, 8, 112);
    // The caption must not be cut short where the system font is wider.
    dodebug->setGeometry(box(8, 218, 41, 17));
    dodebug->resize(std::max(dodebug->width(), dodebug->sizeHint().width()), dodebug->height());
    button(exitButton, 96, 262);
    book->setGeometry(box(TreeBox.x(), TreeBox.y(), TreeBox.width(), TreeBox.height()));
    panels_[0]->setFixedWidth(scaled(200));
    panels_[1]->setFixedWidth(scaled(100));
    panels_[2]->setFixedWidth(scaled(100));
    statusBar()->setFixedHeight(scaled(20));
    fitTreeToHeight();
}

QRect TMain::phonePictureRect() const {
    return surface_->phoneRect;
}

void TMain::fitTreeToHeight() {
    // The tree grows with the window; its bottom keeps the design's distance
    // to the status bar. Nothing else moves.
    const int height = surface_->height() - book->y() - scaled(TreeGapAboveStatus);
    book->resize(book->width(), std::max(height, scaled(40)));
}

void TMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (shown_)
        fitTreeToHeight();
}

void TMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        firstShow();
    }
}

void TMain::firstShow() {
    scale_ = std::max(1, logicalDpiY() * 100 / 96);
    layoutControls();
    if (infownd)
        infownd->setScale(scale_);

    // Size limits and place, counted on the window's frame as the window
    // system sees it.
    QMargins frame;
    if (windowHandle())
        frame = windowHandle()->frameMargins();
    const int frameWidth = frame.left() + frame.right();
    const int frameHeight = frame.top() + frame.bottom();
    setFixedWidth(scaled(DesignWidth) - frameWidth);
    setMinimumHeight(scaled(DesignMinHeight) - frameHeight);
    setMaximumHeight(QWIDGETSIZE_MAX);
    if (QScreen* s = screen()) {
        const QRect place =
            placeMainWindow(s->geometry(), scaled(DesignWidth), scaled(DesignMinHeight));
        setGeometry(place.marginsRemoved(frame));
    }
    surface_->phoneRect = QRect(scaled(PhoneBox.x()), scaled(PhoneBox.y()),
                                scaled(PhoneBox.width()), scaled(PhoneBox.height()));
    fitTreeToHeight();
    surface_->update();

    // The info window comes up once the main window stands; start-up goes on
    // when it has been closed.
    QTimer::singleShot(0, this, [this] {
        if (infoAtStart_ && infownd) {
            connect(infownd, &QDialog::finished, this, &TMain::finishStartup,
                    Qt::SingleShotConnection);
            infownd->setWindowModality(Qt::ApplicationModal);
            infownd->show();
        } else {
            finishStartup();
        }
    });
}

void TMain::finishStartup() {
    readConfig();
    Q_EMIT startupFinished();
}

void TMain::createWindows() {
    if (!infownd)
        infownd = new Tinfownd(this, scale_);
    if (!csvimport)
        csvimport = new Tcsvimport(*this);
    createLinkWindows();
}

void TMain::readConfig() {
    // Whatever cannot be read gives the defaults, without a word.
    ProfileFile file(configPath_);
    file.load();
    config = Config::read(file);
    configLoaded_ = true;
}

bool TMain::writeConfig() {
    // Other sections and keys of the file stay as they are on disk now.
    ProfileFile file(configPath_);
    QString error;
    bool ok = file.load(&error);
    if (ok) {
        config.write(file);
        ok = file.save(&error);
    }
    if (!ok)
        MessageBoxes::error(this, QStringLiteral("Unable to write to \"%1\":\r%2")
                                      .arg(QDir::toNativeSeparators(configPath_), error));
    return ok;
}

bool TMain::FormCloseQuery() {
    Book& b = phonebook();
    if (b.transferactive)
        return false;
    if (!b.bookchanged)
        return true;
    const QString name =
        b.bookfilename.isEmpty()
            ? QStringLiteral("<no name yet>")
            : QLatin1Char('"') + QFileInfo(b.bookfilename).fileName() + QLatin1Char('"');
    const auto answer = MessageBoxes::ask(
        this, QStringLiteral("Book changed!"),
        QStringLiteral("Save changes to ") + name + QLatin1Char('?'), QMessageBox::Question,
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
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

void TMain::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
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

void TMain::setPanel(int panel, const QString& text) {
    // A text longer than its panel can still be read whole as the tool tip.
    QLabel* label = panels_.at(static_cast<size_t>(panel));
    label->setText(text);
    label->setToolTip(text);
}

QString TMain::panelText(int panel) const {
    return panels_.at(static_cast<size_t>(panel))->text();
}

void TMain::updateEntryCount() {
    setPanel(1, QString::number(phonebook().entryCount()) + QStringLiteral(" entries."));
}

void TMain::updateCaption() {
    const QString& file = phonebook().bookfilename;
    setWindowTitle(file.isEmpty() ? QStringLiteral("Quorix")
                                  : QStringLiteral("Quorix - ") + QFileInfo(file).fileName());
}

void TMain::aboutClick() {
    if (phonebook().transferactive || !infownd)
        return;
    infownd->setWindowModality(Qt::ApplicationModal);
    infownd->show();
}

void TMain::releasenotesClick() {
    if (phonebook().transferactive)
        return;
    const QString name = QStringLiteral("Release_Notes.txt");
    const QStringList places = {startdir, QCoreApplication::applicationDirPath()};
    for (const QString& dir : places) {
        const QString path = QDir(dir).absoluteFilePath(name);
        if (!QFileInfo(path).isFile())
            continue;
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
            MessageBoxes::error(this, QStringLiteral("Could not open \"%1\" in a text editor.")
                                          .arg(QDir::toNativeSeparators(path)));
        return;
    }
    MessageBoxes::error(this, QStringLiteral("\"%1\" was not found in\r%2\rnor in\r%3")
                                  .arg(name, QDir::toNativeSeparators(places[0]),
                                       QDir::toNativeSeparators(places[1])));
}

} // namespace quorix
