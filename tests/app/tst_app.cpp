#include "AppTestSupport.h"
#include "app/BookTree.h"
#include "app/Config.h"
#include "app/ConnectionDialog.h"
#include "app/FileDialogs.h"
#include "app/Icons.h"
#include "app/InfoWindow.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "app/Placement.h"
#include "app/ProfileFile.h"
#include "app/StatusPanel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <memory>

using namespace quorix;
using test::Answers;
using test::TransferRunning;
using test::WorkDir;

namespace {

// The main window with a save that does what the test says.
class Window : public MainWindow {
public:
    bool saveSucceeds = false;
    int saves = 0;
    bool saveBook() override {
        ++saves;
        if (saveSucceeds)
            phonebook().bookChanged = false;
        return saveSucceeds;
    }
};

std::unique_ptr<Window> startWindow() {
    return test::startWindow<Window>();
}

// Menus as lines "Menu|Item|Shortcut", "Menu|-" for a separator, submenus
// as "Menu|Sub|Item|...".
void dumpMenu(const QMenu* menu, const QString& path, QStringList& out) {
    for (const QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            out << path + QStringLiteral("|-");
        } else if (a->menu()) {
            dumpMenu(a->menu(), path + QLatin1Char('|') + a->text(), out);
        } else {
            QStringList keys;
            for (const QKeySequence& k : a->shortcuts())
                keys << k.toString();
            out << path + QLatin1Char('|') + a->text() + QLatin1Char('|') +
                       keys.join(QLatin1Char(','));
        }
    }
}

QStringList menuLines(MainWindow& w) {
    QStringList out;
    for (const QAction* a : w.menuBar()->actions())
        dumpMenu(a->menu(), a->text().remove(QLatin1Char('&')), out);
    return out;
}

void fill(BookModel& model, const QList<QByteArray>& rows) {
    for (const QByteArray& row : rows) {
        const QList<QByteArray> parts = row.split('|');
        Name& n = model.insertName(model.book().entryCount(), parts.first());
        for (qsizetype i = 1; i < parts.size(); ++i)
            model.addSubentry(n, parts[i], KindGeneral);
    }
}

int kindOf(const QModelIndex& index) {
    return index.data(BookModel::KindRole).toInt();
}

QRect visualRow(MainWindow& w, const QModelIndex& index) {
    return w.treeView()->visualRect(index);
}

} // namespace

class TestApp : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() {
        MessageBoxes::clearHook();
        FileDialogs::clearHook();
    }

    // --- The window as it comes up ---------------------------------------

    void windowShape() {
        WorkDir dir;
        auto w = startWindow();
        const int s = w->scale();
        QCOMPARE(w->windowTitle(), QStringLiteral("Quorix"));
        // It grows, so it maximizes too.
        QVERIFY(w->windowFlags() & Qt::WindowMaximizeButtonHint);
        QVERIFY(w->windowFlags() & Qt::WindowMinimizeButtonHint);
        // The design size is where it starts and the least it takes; the
        // limits count the window's frame.
        const QMargins frame = w->windowHandle()->frameMargins();
        QCOMPARE(w->frameGeometry().width(), s * 505 / 100);
        QCOMPARE(w->minimumWidth() + frame.left() + frame.right(), s * 505 / 100);
        QCOMPARE(w->minimumHeight() + frame.top() + frame.bottom(), s * 376 / 100);
        QCOMPARE(w->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
        // Placed as tall as the screen allows, 30 pixels in from its edges.
        QCOMPARE(w->frameGeometry(),
                 placeMainWindow(w->screen()->geometry(), s * 505 / 100, s * 376 / 100));
        QCOMPARE(w->phonePictureRect(),
                 QRect(s * 9 / 100, s * 184 / 100, s * 129 / 100, s * 126 / 100));

        // The tree: root row "PhoneBook", no expander at the root, indent 35.
        QCOMPARE(w->treeView()->indentation(), 35);
        QVERIFY(!w->treeView()->rootIsDecorated());
        QCOMPARE(w->treeView()->model()->rowCount(), 1);
        QCOMPARE(w->treeView()->model()->index(0, 0).data().toString(),
                 QStringLiteral("PhoneBook"));
        QVERIFY(
            !w->treeView()->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());

        // Status bar panels.
        // The first panel at least as designed, and wider where the others leave room.
        QVERIFY(w->panelLabel(0)->width() >= s * 200 / 100);
        QCOMPARE(w->panelLabel(1)->width(), s * 100 / 100);
        QCOMPARE(w->panelLabel(2)->width(), s * 100 / 100);
        QCOMPARE(w->panelText(1), QStringLiteral("0 entries."));

        // Buttons: captions, hints, size.
        const QList<std::tuple<QToolButton*, const char*, const char*>> buttons = {
            {test::child<QToolButton>(*w, "readButton"), "Read", "Read phonebook from phone"},
            {test::child<QToolButton>(*w, "writeButton"), "Write", "Write phonebook into phone"},
            {test::child<QToolButton>(*w, "stopButton"), "Stop", "Abort reading/writing"},
            {test::child<QToolButton>(*w, "saveButton"), "Save", "Save phonebook to file"},
            {test::child<QToolButton>(*w, "loadButton"), "Load", "Load phonebook from file"},
            {test::child<QToolButton>(*w, "sortButton"), "Sort", "Sort phonebook and subentries"},
            {test::child<QToolButton>(*w, "clearButton"), "Clear", "Clear the actual phonebook"},
            {test::child<QToolButton>(*w, "exitButton"), "Exit", "Exit the program"},
        };
        for (const auto& [button, caption, hint] : buttons) {
            QCOMPARE(button->text(), QString::fromLatin1(caption));
            QCOMPARE(button->toolTip(), QString::fromLatin1(hint));
            QCOMPARE(button->size(), QSize(s * 41 / 100, s * 41 / 100));
            QVERIFY(!button->icon().isNull());
            QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        }
        QCOMPARE(test::child<QGroupBox>(*w, "bookGroup")->title(), QStringLiteral("Book"));
        QCOMPARE(test::child<QGroupBox>(*w, "actionsGroup")->title(), QStringLiteral("Actions"));
        QCOMPARE(test::child<QCheckBox>(*w, "debugBox")->text(), QStringLiteral("Debug"));
        QVERIFY(!test::child<QCheckBox>(*w, "debugBox")->isChecked());

        // Tab order: Exit, the tree, the Book group, the Actions group, Debug.
        const QList<QWidget*> order = {
            test::child<QToolButton>(*w, "exitButton"), w->treeView(),
            test::child<QToolButton>(*w, "saveButton"), test::child<QToolButton>(*w, "loadButton"),
            test::child<QToolButton>(*w, "sortButton"), test::child<QToolButton>(*w, "clearButton"),
            test::child<QToolButton>(*w, "readButton"), test::child<QToolButton>(*w, "writeButton"),
            test::child<QToolButton>(*w, "stopButton"), test::child<QCheckBox>(*w, "debugBox")};
        for (qsizetype i = 0; i + 1 < order.size(); ++i) {
            QWidget* next = order[i]->nextInFocusChain();
            while (next->focusPolicy() == Qt::NoFocus || !next->isVisible())
                next = next->nextInFocusChain();
            QCOMPARE(next, order[i + 1]);
        }
    }

    void resizeGrowsTreeAndFirstPanel() {
        WorkDir dir;
        auto w = startWindow();
        const int s = w->scale();
        w->resize(w->minimumSize());
        QTest::qWait(20);
        // At the design size the tree stands in its design box.
        const QRect tree = w->treeView()->geometry();
        QCOMPARE(tree.topLeft(), QPoint(s * 144 / 100, s * 16 / 100));
        QCOMPARE(tree.width(), s * 345 / 100);
        const auto fixed = [&] {
            QList<QRect> out;
            for (const char* name : {"exitButton", "saveButton", "stopButton", "debugBox"})
                out << test::child<QWidget>(*w, name)->geometry();
            return out << QRect(QPoint(), w->panelLabel(1)->size())
                       << QRect(QPoint(), w->panelLabel(2)->size());
        };
        const QList<QRect> before = fixed();
        const int panel = w->panelLabel(0)->width();
        // A text too long for the first panel ends in "..." and is whole in the tool tip.
        const QString message = QStringLiteral("4 contacts, 3 photos, 1 birthday and 2 other "
                                               "phone numbers were read from the phone");
        w->setPanel(0, message);
        QVERIFY(w->panelLabel(0)->text().endsWith(QChar(0x2026)));
        QCOMPARE(w->panelLabel(0)->toolTip(), message);
        // What the window gains goes to the tree and the first panel, nothing else moves.
        const QList<QSize> growths = {{0, 100}, {150, 0}, {320, 60}};
        for (const QSize& more : growths) {
            w->resize(w->minimumSize() + more);
            QTRY_COMPARE(w->treeView()->size(), tree.size() + more);
            QCOMPARE(w->treeView()->pos(), tree.topLeft());
            QCOMPARE(w->panelLabel(0)->width(), panel + more.width());
            QCOMPARE(fixed(), before);
            QCOMPARE(w->statusBar()->geometry().bottom(), w->height() - 1);
            QVERIFY(w->treeView()->geometry().bottom() < w->statusBar()->y());
        }
        QCOMPARE(w->panelLabel(0)->text(), message); // room enough now
        // Never smaller than the design.
        w->resize(w->minimumSize() - QSize(60, 60));
        QCOMPARE(w->size(), w->minimumSize());
    }

    // Where the window stood and how large it was, kept from one run to the next.
    void placeIsKept_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QRect>("kept");  // null: the default place; a size of 1 x 1: the least
        QTest::addColumn<QRect>("moved"); // where the user puts it; empty: left alone
        QTest::addColumn<QByteArray>("written");
        const QByteArray config = "[CONFIG]\nPORT=1\nCABLE=1\nCSV_NAME=1\nCSV_START=2\nCSV_STOP=7\n"
                                  "CSV_LINE=1\nCSV_SEP=59\nCSV_QUOTES=NO\nCSV_ENCODING=auto\n";
        QTest::newRow("default place: not written") << config << QRect() << QRect() << config;
        QTest::newRow("moved and widened: written after the other sections")
            << config << QRect() << QRect(100, 60, 700, 500)
            << config + "[MAINWINDOW]\nLEFT=100\nTOP=60\nWIDTH=700\nHEIGHT=500\n";
        const QByteArray kept = config + "[MAINWINDOW]\nLEFT=90\nTOP=40\nWIDTH=640\nHEIGHT=480\n";
        QTest::newRow("kept place restored") << kept << QRect(90, 40, 640, 480) << QRect() << kept;
        QTest::newRow("too small: grown to the design size")
            << config + "[MAINWINDOW]\nLEFT=90\nTOP=40\nWIDTH=100\nHEIGHT=80\n"
            << QRect(90, 40, 1, 1) << QRect() << QByteArray();
        QTest::newRow("off every screen: default place")
            << config + "[MAINWINDOW]\nLEFT=9000\nTOP=40\nWIDTH=640\nHEIGHT=480\n"
            << QRect() << QRect() << QByteArray();
        QTest::newRow("broken: default place")
            << config + "[MAINWINDOW]\nLEFT=x\nTOP=40\nWIDTH=640\nHEIGHT=480\n"
            << QRect() << QRect() << QByteArray();
    }

    void placeIsKept() {
        QFETCH(QByteArray, file);
        QFETCH(QRect, kept);
        QFETCH(QRect, moved);
        QFETCH(QByteArray, written);
        WorkDir dir;
        dir.write(QStringLiteral("quorix7.ini"), file);
        auto w = startWindow();
        const QRect fresh =
            placeMainWindow(w->screen()->geometry(), w->scale() * 505 / 100, w->scale() * 376 / 100)
                .marginsRemoved(w->windowHandle()->frameMargins());
        if (kept.isNull())
            QCOMPARE(w->geometry(), fresh);
        else if (kept.size() == QSize(1, 1))
            QCOMPARE(w->geometry(), QRect(kept.topLeft(), w->minimumSize()));
        else
            QCOMPARE(w->geometry(), kept);
        if (!moved.isNull()) {
            w->setGeometry(moved);
            QTRY_COMPARE(w->geometry(), moved);
        }
        QVERIFY(w->close());
        if (!written.isEmpty())
            QCOMPARE(dir.readConfig(), written);
    }

    void placement() {
        // A screen 768 pixels high: the window is 708 high, 30 from the top.
        QCOMPARE(placeMainWindow(QRect(0, 0, 1024, 768), 505, 376), QRect(30, 30, 505, 708));
        // Too narrow for 30 + width + 30: moved left to stay 30 from the right.
        QCOMPARE(placeMainWindow(QRect(0, 0, 520, 768), 505, 376).left(), 0);
        QCOMPARE(placeMainWindow(QRect(0, 0, 560, 768), 505, 376).left(), 25);
        // Too low for the smallest height: the caption stays on the screen.
        QCOMPARE(placeMainWindow(QRect(0, 0, 1024, 400), 505, 376), QRect(30, 0, 505, 376));

        const QRect screen(0, 0, 1024, 768);
        QCOMPARE(centreOn(QRect(30, 30, 505, 708), QSize(338, 177), screen), QPoint(113, 295));
        // Kept 30 pixels inside the right and bottom edges.
        QCOMPARE(centreOn(QRect(800, 600, 505, 400), QSize(338, 177), screen),
                 QPoint(1024 - 30 - 338, 768 - 30 - 177));
        // A smaller owner: halves are rounded toward zero.
        QCOMPARE(centreOn(QRect(500, 300, 101, 101), QSize(338, 178), screen),
                 QPoint(500 - 118, 300 - 38));
    }

    void menus() {
        WorkDir dir;
        auto w = startWindow();
        // Every item has an access key; the shortcuts of old stay, with today's
        // keys beside them.
        const QStringList expected = {
            "File|&New|",
            "File|&Open|Ctrl+O",
            "File|&Save|Ctrl+S",
            "File|Save &as|Ctrl+Shift+S,Ctrl+A",
            "File|-",
            "File|&Import|&Comma Separated Values (*.csv)|",
            "File|&Import|Nokia Communicator &9110 file|",
            "File|&Import|&vCard file...|",
            "File|&Export|&vCard file...|",
            "File|&Export|&CSV file...|",
            "File|&Export|CSV for &Google Contacts...|",
            "File|Restore from &backup...|",
            "File|-",
            "File|&Print...|Ctrl+P",
            "File|Print pre&view...|",
            "File|-",
            "File|E&xit|Ctrl+Q",
            "Edit|&Undo|Ctrl+Z",
            "Edit|&Redo|Ctrl+Shift+Z,Ctrl+Y",
            "Edit|-",
            "Edit|&Edit|Shift+Enter,Shift+Return",
            "Edit|&New entry|Ctrl+N",
            "Edit|New te&xt entry|Ctrl+M",
            "Edit|New n&ame|Ctrl+B",
            "Edit|&Delete|Shift+Del,Del",
            "Edit|-",
            "Edit|Change &type|&General|Shift+F1",
            "Edit|Change &type|&Mobile|Shift+F2",
            "Edit|Change &type|&Home|Shift+F3",
            "Edit|Change &type|&Office|Shift+F4",
            "Edit|Change &type|&Fax|Shift+F5",
            "Edit|Change &type|-",
            "Edit|Change &type|&E-Mail|Shift+F6",
            "Edit|Change &type|&Postal Address|Shift+F7",
            "Edit|Change &type|&Note|Shift+F8",
            "Edit|Add to &group|&Family|Ctrl+F1",
            "Edit|Add to &group|&VIP|Ctrl+F2",
            "Edit|Add to &group|F&riends|Ctrl+F3",
            "Edit|Add to &group|&Colleagues|Ctrl+F4",
            "Edit|Add to &group|&Other|Ctrl+F5",
            "Edit|-",
            "Edit|&Sort book|F4",
            "Edit|Ex&pand all|F2",
            "Edit|&Collapse all|F3",
            "Edit|-",
            "Edit|C&lear book|",
            "Edit|-",
            "Edit|&Find|Ctrl+F",
            "View|&Tree|",
            "View|T&able|",
            "Connection|&Setup|F10",
            "Transfer|&Read from phone|F5",
            "Transfer|&Write to phone|F6",
            "Transfer|Write &changes|",
            "Transfer|C&ompare with phone|",
            "Transfer|-",
            "Transfer|Rewr&ite entry|Ctrl+R",
            "Transfer|&Stop|",
            "Extras|&Sort book|F4",
            "Extras|&Flip book|",
            "Extras|Find &duplicates...|",
            "Extras|-",
            "Extras|&Record the line...|",
            "Help|&Release Notes|F1",
            "Help|&About|",
        };
        QCOMPARE(menuLines(*w), expected);
        // Open recent is there, off while it has nothing to offer.
        QCOMPARE(test::child<QMenu>(*w, "recentMenu")->title(), QStringLiteral("Open &recent"));
        QVERIFY(!test::child<QMenu>(*w, "recentMenu")->menuAction()->isEnabled());

        QStringList popup;
        dumpMenu(w->popupMenu(), QStringLiteral("Popup"), popup);
        const QStringList expectedPopup = {
            "Popup|Change &type|&General|Shift+F1",
            "Popup|Change &type|&Mobile|Shift+F2",
            "Popup|Change &type|&Home|Shift+F3",
            "Popup|Change &type|&Office|Shift+F4",
            "Popup|Change &type|&Fax|Shift+F5",
            "Popup|Change &type|-",
            "Popup|Change &type|&E-Mail|Shift+F6",
            "Popup|Change &type|&Postal Address|Shift+F7",
            "Popup|Change &type|&Note|Shift+F8",
            "Popup|Add to &group|&Family|Ctrl+F1",
            "Popup|Add to &group|&VIP|Ctrl+F2",
            "Popup|Add to &group|F&riends|Ctrl+F3",
            "Popup|Add to &group|&Colleagues|Ctrl+F4",
            "Popup|Add to &group|&Other|Ctrl+F5",
            "Popup|-",
            "Popup|&Edit|Shift+Enter,Shift+Return",
            "Popup|&New entry|Ctrl+N",
            "Popup|New te&xt entry|Ctrl+M",
            "Popup|New n&ame|Ctrl+B",
            "Popup|&Delete|Shift+Del,Del",
            "Popup|-",
            "Popup|Rewr&ite entry|Ctrl+R",
            "Popup|-",
            "Popup|Ex&pand all|F2",
            "Popup|&Collapse all|F3",
        };
        QCOMPARE(popup, expectedPopup);
        // Within each menu no two items share an access key.
        QList<const QMenu*> menus = {w->popupMenu()};
        for (const QAction* a : w->menuBar()->actions())
            menus << a->menu();
        for (int i = 0; i < menus.size(); ++i) {
            QSet<QChar> keys;
            for (const QAction* a : menus[i]->actions()) {
                if (a->menu())
                    menus << a->menu();
                if (a->isSeparator())
                    continue;
                const QString text = a->text();
                const qsizetype amp = text.indexOf(QLatin1Char('&'));
                QVERIFY2(amp >= 0 && amp + 1 < text.size(), qPrintable(text));
                const QChar key = text.at(amp + 1).toLower();
                QVERIFY2(!keys.contains(key), qPrintable(menus[i]->title() + ": " + text));
                keys.insert(key);
            }
        }
        QSet<QChar> bar;
        for (const QAction* a : w->menuBar()->actions()) {
            const QString text = a->text();
            const qsizetype amp = text.indexOf(QLatin1Char('&'));
            QVERIFY2(amp >= 0 && amp + 1 < text.size(), qPrintable(text));
            const QChar key = text.at(amp + 1).toLower();
            QVERIFY2(!bar.contains(key), qPrintable(text));
            bar.insert(key);
        }
        // The kind items show their kind's icon.
        for (int i = 0; i < 8; ++i)
            QCOMPARE(w->commands()
                         .action(QStringLiteral("tree.type%1").arg(KindGeneral + i))
                         ->icon()
                         .cacheKey(),
                     icons::kind(KindGeneral + int(i)).cacheKey());
        for (int n = 1; n <= 5; ++n)
            QCOMPARE(w->commands().action(QStringLiteral("tree.group%1").arg(n))->icon().cacheKey(),
                     icons::kind(KindCallerGroup).cacheKey());
    }

    // Every command is in the menu bar as the very action the popup and the
    // buttons run, so it shows the same shortcut and is off at the same times;
    // the popup's editing commands are all in the Edit menu, Rewrite entry in
    // the Transfer menu.
    void everyCommandIsInTheMenuBar() {
        WorkDir dir;
        auto w = startWindow();
        QHash<const QAction*, QString> menuOf;
        QList<std::pair<const QMenu*, QString>> menus;
        for (const QAction* a : w->menuBar()->actions())
            menus.append({a->menu(), a->text()});
        for (qsizetype i = 0; i < menus.size(); ++i)
            for (const QAction* a : menus[i].first->actions()) {
                menuOf.insert(a, menus[i].second);
                if (a->menu())
                    menus.append({a->menu(), menus[i].second});
            }
        for (const QString& id : w->commands().ids())
            QVERIFY2(menuOf.contains(w->commands().action(id)), qPrintable(id));
        QList<const QMenu*> popup = {w->popupMenu()};
        for (qsizetype i = 0; i < popup.size(); ++i)
            for (const QAction* a : popup[i]->actions()) {
                if (a->menu())
                    popup << a->menu();
                else if (!a->isSeparator())
                    QCOMPARE(menuOf.value(a), a == test::command(*w, "tree.rewrite")
                                                  ? QStringLiteral("&Transfer")
                                                  : QStringLiteral("&Edit"));
            }
    }

    void shortcuts() {
        WorkDir dir;
        Answers answers; // Release Notes may report that it found none
        FileDialogs::setHook([](const FileRequest&) { return QString(); }); // cancelled
        auto w = startWindow();
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->treeView()->setFocus();

        // Main menu shortcuts act anywhere in the window, the tree included
        // (Ctrl+A is "Save as", not the tree's select-all).
        const QList<QPair<QAction*, QKeySequence>> mainKeys = {
            {test::command(*w, "file.open"), QKeySequence(Qt::CTRL | Qt::Key_O)},
            {test::command(*w, "file.save"), QKeySequence(Qt::CTRL | Qt::Key_S)},
            {test::command(*w, "file.saveAs"), QKeySequence(Qt::CTRL | Qt::Key_A)},
            {test::command(*w, "file.saveAs"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
            {test::command(*w, "connection.setup"), QKeySequence(Qt::Key_F10)},
            {test::command(*w, "transfer.read"), QKeySequence(Qt::Key_F5)},
            {test::command(*w, "transfer.write"), QKeySequence(Qt::Key_F6)},
            {test::command(*w, "extras.sort"), QKeySequence(Qt::Key_F4)},
            {test::command(*w, "help.releaseNotes"), QKeySequence(Qt::Key_F1)},
        };
        // The keys are under test here, not transfers without a phone: a read or
        // write that starts disables the other commands until its link gives up.
        QObject::disconnect(test::command(*w, "transfer.read"), &QAction::triggered, nullptr,
                            nullptr);
        QObject::disconnect(test::command(*w, "transfer.write"), &QAction::triggered, nullptr,
                            nullptr);
        for (const auto& [action, key] : mainKeys) {
            QSignalSpy fired(action, &QAction::triggered);
            QTest::keySequence(w->treeView(), key);
            QVERIFY2(fired.count() == 1, qPrintable(action->text()));
            // F10's dialog is modal: close it for the keys that follow.
            if (test::child<ConnectionDialog>(*w))
                test::child<ConnectionDialog>(*w)->close();
        }

        // The popup's shortcuts act while the tree has the focus, and only then.
        QList<QAction*> popupActions = {
            test::command(*w, "tree.edit"),         test::command(*w, "tree.newEntry"),
            test::command(*w, "tree.newTextEntry"), test::command(*w, "tree.newName"),
            test::command(*w, "tree.delete"),       test::command(*w, "tree.rewrite"),
            test::command(*w, "tree.expandAll"),    test::command(*w, "tree.collapseAll")};
        for (int i = 0; i < 8; ++i)
            popupActions << w->commands().action(
                QStringLiteral("tree.type%1").arg(KindGeneral + i));
        for (int n = 1; n <= 5; ++n)
            popupActions << w->commands().action(QStringLiteral("tree.group%1").arg(n));
        for (QAction* action : popupActions) {
            for (const QKeySequence& key : action->shortcuts()) {
                QSignalSpy fired(action, &QAction::triggered);
                QTest::keySequence(w->treeView(), key);
                QVERIFY2(fired.count() == 1, qPrintable(action->text() + " " + key.toString()));
                // A New command leaves its label editor open; the tree takes the next key.
                if (w->treeView()->isEditing())
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
                w->treeView()->setFocus();
            }
        }
        test::child<QCheckBox>(*w, "debugBox")->setFocus();
        QSignalSpy expandAll(test::command(*w, "tree.expandAll"), &QAction::triggered);
        QTest::keyClick(test::child<QCheckBox>(*w, "debugBox"), Qt::Key_F2);
        QCOMPARE(expandAll.count(), 0);
    }

    void entryCountFollowsTheBook() {
        WorkDir dir;
        auto w = startWindow();
        BookModel& m = w->model();
        QCOMPARE(w->panelText(1), QStringLiteral("0 entries."));
        Name& anna = m.addNameAtTop("Anna");
        QCOMPARE(w->panelText(1), QStringLiteral("1 entries."));
        m.addNameAtTop("Bob");
        m.addSubentry(anna, "123", KindMobile); // subentries are not counted
        QCOMPARE(w->panelText(1), QStringLiteral("2 entries."));
        m.rebuild([](Book& b) { b.addAtTop("Carl"); });
        QCOMPARE(w->panelText(1), QStringLiteral("3 entries."));
        m.removeName(0);
        QCOMPARE(w->panelText(1), QStringLiteral("2 entries."));
        m.clearNames();
        QCOMPARE(w->panelText(1), QStringLiteral("0 entries."));
    }

    // --- The tree --------------------------------------------------------

    void mouseSelectsTheRowUnderThePointer() {
        WorkDir dir;
        auto w = startWindow();
        fill(w->model(), {"Anna|1", "Bob|2"});
        w->treeView()->expandAll();
        const QModelIndex bob = w->model().indexOf(w->phonebook().name(1));
        const QRect row = visualRow(*w, bob);
        QVERIFY(row.isValid());

        QTest::mouseClick(w->treeView()->viewport(), Qt::RightButton, {}, row.center());
        QCOMPARE(w->treeView()->currentIndex(), bob);
        QVERIFY(w->treeView()->selectionModel()->isSelected(bob));
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, row.center(),
                                    w->treeView()->viewport()->mapToGlobal(row.center()));
        QApplication::sendEvent(w->treeView()->viewport(), &menuEvent);
        QTRY_VERIFY(w->popupMenu()->isVisible()); // and the popup opens for it
        w->popupMenu()->hide();

        // A press on empty space leaves nothing selected.
        const QPoint below(row.center().x(), w->treeView()->viewport()->height() - 2);
        QVERIFY(!w->treeView()->indexAt(below).isValid());
        QTest::mouseClick(w->treeView()->viewport(), Qt::LeftButton, {}, below);
        QVERIFY(!w->treeView()->selectionModel()->hasSelection());
        QCOMPARE(w->treeView()->mouseDownPoint, below);
    }

    void expandImagesFollowTheTree() {
        WorkDir dir;
        auto w = startWindow();
        BookModel& m = w->model();
        fill(m, {"Anna|1|2", "Bob", "Carl|3"});
        const QModelIndex root = m.rootIndex();
        const QModelIndex anna = m.indexOf(w->phonebook().name(0));
        QCOMPARE(kindOf(root), int(KindNameCollapsed));

        w->treeView()->expand(root);
        QCOMPARE(kindOf(root), int(KindNameExpanded));
        w->treeView()->expand(anna);
        QCOMPARE(kindOf(anna), int(KindNameExpanded));
        w->treeView()->collapse(anna);
        QCOMPARE(kindOf(anna), int(KindNameCollapsed));

        test::command(*w, "tree.expandAll")->trigger();
        QVERIFY(w->treeView()->isExpanded(m.indexOf(w->phonebook().name(2))));
        QCOMPARE(kindOf(m.indexOf(w->phonebook().name(0))), int(KindNameExpanded));
        QCOMPARE(kindOf(m.indexOf(w->phonebook().name(1))),
                 int(KindNameCollapsed)); // nothing under it
        QCOMPARE(kindOf(m.indexOf(w->phonebook().name(2))), int(KindNameExpanded));

        // Flipping folds every name and leaves the root open, icons included.
        m.flipBook();
        QVERIFY(!w->treeView()->isExpanded(m.indexOf(w->phonebook().name(0))));
        QCOMPARE(kindOf(m.indexOf(w->phonebook().name(0))), int(KindNameCollapsed));
        QVERIFY(w->treeView()->isExpanded(m.rootIndex()));

        test::command(*w, "tree.collapseAll")->trigger();
        QVERIFY(w->treeView()->isExpanded(m.rootIndex()));
        QCOMPARE(kindOf(m.rootIndex()), int(KindNameExpanded));
        for (int row = 0; row < 3; ++row) {
            const QModelIndex name = m.indexOf(w->phonebook().name(row));
            QVERIFY(!w->treeView()->isExpanded(name));
            QCOMPARE(kindOf(name), int(KindNameCollapsed));
        }
    }

    void kindIcons() {
        for (int k = 0; k < KindCount; ++k) {
            const QIcon icon = icons::kind(k);
            // Sharp pixmaps for 96 dpi and for 144/192 dpi screens.
            QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
            QVERIFY(icon.availableSizes().contains(QSize(24, 24)));
            QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
            const QImage image = icon.pixmap(QSize(16, 16)).toImage();
            int opaque = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    opaque += qAlpha(image.pixel(x, y)) > 0;
            QVERIFY2(opaque > 30, qPrintable(QString::number(k)));
        }
        QCOMPARE(icons::kind(42).cacheKey(), icons::kind(KindUnknown).cacheKey());
        QVERIFY(icons::kind(KindHome).cacheKey() != icons::kind(KindOffice).cacheKey());
    }

    // --- Settings file ---------------------------------------------------

    void settingsFirstRun() {
        WorkDir dir;
        auto w = startWindow();
        // With none in the working directory, the file goes to the user's
        // configuration folder, made on the way, and the working directory stays clean.
        QCOMPARE(w->configPath(), dir.userConfig());
        QCOMPARE(w->settings(), Config{});
        QCOMPARE(w->settings().port, 0);  // COM1
        QCOMPARE(w->settings().cable, 1); // DLR-3
        QCOMPARE(w->settings().csvSep, QByteArray(";"));
        QVERIFY(w->close());
        QCOMPARE(dir.read(QStringLiteral("config/quorix/quorix7.ini")),
                 QByteArray("[CONFIG]\nPORT=1\nCABLE=1\nCSV_NAME=1\nCSV_START=2\nCSV_STOP=7\n"
                            "CSV_LINE=1\nCSV_SEP=59\nCSV_QUOTES=NO\nCSV_ENCODING=auto\n"));
        QVERIFY(!QFile::exists(dir.file(QStringLiteral("quorix7.ini"))));
        // The next run reads it from there.
        auto again = startWindow();
        QCOMPARE(again->configPath(), dir.userConfig());
    }

    void settingsInTheStartFolderWin() {
        // A file in the folder the program starts from is used and written, the
        // user's own is left alone.
        WorkDir dir;
        QDir(dir.path()).mkpath(QStringLiteral("config/quorix"));
        dir.write(QStringLiteral("config/quorix/quorix7.ini"), "[CONFIG]\nPORT=2\n");
        dir.write(QStringLiteral("quorix7.ini"), "[CONFIG]\nPORT=3\n");
        auto w = startWindow();
        QCOMPARE(w->configPath(), dir.file(QStringLiteral("quorix7.ini")));
        QCOMPARE(w->settings().port, 2);
        w->settings().cable = 0;
        QVERIFY(w->close());
        QVERIFY(dir.read(QStringLiteral("quorix7.ini")).startsWith("[CONFIG]\nPORT=3\nCABLE=0\n"));
        QCOMPARE(dir.read(QStringLiteral("config/quorix/quorix7.ini")),
                 QByteArray("[CONFIG]\nPORT=2\n"));
    }

    void settingsRoundTrip_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("cable");
        QTest::addColumn<QList<int>>("counters");
        QTest::addColumn<bool>("quotes");
        QTest::addColumn<QByteArray>("sep");
        QTest::addColumn<QByteArray>("written");

        const QList<int> defaults = {1, 2, 7, 1};
        QTest::newRow("COM4 and DAU-9P")
            << QByteArray("[CONFIG]\nPORT=4\nCABLE=0\n") << 3 << 0 << defaults << false
            << QByteArray(";")
            << QByteArray("[CONFIG]\nPORT=4\nCABLE=0\nCSV_NAME=1\nCSV_START=2\nCSV_STOP=7\n"
                          "CSV_LINE=1\nCSV_SEP=59\nCSV_QUOTES=NO\nCSV_ENCODING=auto\n");
        QTest::newRow("quotes only for upper-case YES, tab separator")
            << QByteArray("[config]\ncsv_quotes=yes\nCSV_SEP=9\n") << 0 << 1 << defaults << false
            << QByteArray("\t")
            << QByteArray("[config]\nCSV_QUOTES=NO\nCSV_SEP=9\nPORT=1\nCABLE=1\nCSV_NAME=1\n"
                          "CSV_START=2\nCSV_STOP=7\nCSV_LINE=1\nCSV_ENCODING=auto\n");
        QTest::newRow("all keys set, CRLF kept")
            << QByteArray("[CONFIG]\r\nPORT=2\r\nCABLE=1\r\nCSV_NAME=3\r\nCSV_START=4\r\n"
                          "CSV_STOP=9\r\nCSV_LINE=2\r\nCSV_SEP=44\r\nCSV_QUOTES=YES\r\n"
                          "CSV_ENCODING=utf-8\r\n")
            << 1 << 1 << QList<int>{3, 4, 9, 2} << true << QByteArray(",")
            << QByteArray("[CONFIG]\r\nPORT=2\r\nCABLE=1\r\nCSV_NAME=3\r\nCSV_START=4\r\n"
                          "CSV_STOP=9\r\nCSV_LINE=2\r\nCSV_SEP=44\r\nCSV_QUOTES=YES\r\n"
                          "CSV_ENCODING=utf-8\r\n");
        QTest::newRow("not numbers and out of range give defaults")
            << QByteArray("[CONFIG]\nPORT=COM3\nCABLE=7\nCSV_NAME=\nCSV_START=x2\nCSV_STOP=500\n"
                          "CSV_LINE=0\nCSV_SEP=70000\n")
            << 0 << 1 << QList<int>{1, 2, 100, 1} << false << QByteArray(";")
            << QByteArray("[CONFIG]\nPORT=1\nCABLE=1\nCSV_NAME=1\nCSV_START=2\nCSV_STOP=100\n"
                          "CSV_LINE=1\nCSV_SEP=59\nCSV_QUOTES=NO\nCSV_ENCODING=auto\n");
        QTest::newRow("other sections, comments and keys survive")
            << QByteArray("; written by hand\n[WINDOW]\nLEFT=5\n\n[CONFIG]\nEXTRA=keep me\n"
                          "PORT = 3\n\n[LAST]\nX=1\n")
            << 2 << 1 << defaults << false << QByteArray(";")
            << QByteArray("; written by hand\n[WINDOW]\nLEFT=5\n\n[CONFIG]\nEXTRA=keep me\n"
                          "PORT=3\nCABLE=1\nCSV_NAME=1\nCSV_START=2\nCSV_STOP=7\nCSV_LINE=1\n"
                          "CSV_SEP=59\nCSV_QUOTES=NO\nCSV_ENCODING=auto\n\n[LAST]\nX=1\n");
        QTest::newRow("section missing")
            << QByteArray("[OTHER]\nPORT=4\n") << 0 << 1 << defaults << false << QByteArray(";")
            << QByteArray("[OTHER]\nPORT=4\n[CONFIG]\nPORT=1\nCABLE=1\nCSV_NAME=1\nCSV_START=2\n"
                          "CSV_STOP=7\nCSV_LINE=1\nCSV_SEP=59\nCSV_QUOTES=NO\nCSV_ENCODING=auto\n");
    }

    void settingsRoundTrip() {
        QFETCH(QByteArray, file);
        QFETCH(int, port);
        QFETCH(int, cable);
        QFETCH(QList<int>, counters);
        QFETCH(bool, quotes);
        QFETCH(QByteArray, sep);
        QFETCH(QByteArray, written);

        WorkDir dir;
        dir.write(QStringLiteral("quorix7.ini"), file);
        auto w = startWindow();
        QCOMPARE(w->settings().port, port);
        QCOMPARE(w->settings().cable, cable);
        QCOMPARE((QList<int>{w->settings().csvName, w->settings().csvStart, w->settings().csvStop,
                             w->settings().csvLine}),
                 counters);
        QCOMPARE(w->settings().csvQuotes, quotes);
        QCOMPARE(w->settings().csvSep, sep);
        QVERIFY(w->close());
        QCOMPARE(dir.readConfig(), written);
    }

    void settingsChangedByDialogsAreWritten() {
        WorkDir dir;
        auto w = startWindow();
        w->settings().port = 3;
        w->settings().cable = 0;
        w->settings().csvName = 5;
        w->settings().csvQuotes = true;
        w->settings().csvSep = "|";
        QVERIFY(w->close());
        ProfileFile file(w->configPath());
        QVERIFY(file.load());
        const Config back = Config::read(file);
        QCOMPARE(back, w->settings());
        // An emptied separator field is stored as ";".
        Config empty;
        empty.csvSep.clear();
        empty.write(file);
        QCOMPARE(file.value("CONFIG", "CSV_SEP"), std::optional<QByteArray>("59"));
    }

    void settingsNotReadAreNotOverwritten() {
        // A window that never finished its start-up leaves the file alone.
        WorkDir dir;
        dir.write(QStringLiteral("quorix7.ini"), "[CONFIG]\nPORT=4\n");
        Window w;
        w.createWindows();
        QVERIFY(w.close());
        QCOMPARE(dir.readConfig(), QByteArray("[CONFIG]\nPORT=4\n"));
    }

    void settingsWriteFailure() {
        // The configuration folder cannot be made (a file stands in its way): one
        // error at the end names the folder, and the window closes all the same.
        WorkDir dir;
        dir.write(QStringLiteral("blocker"), "");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.file(QStringLiteral("blocker"))));
        auto w = startWindow();
        QCOMPARE(w->configPath(), dir.file(QStringLiteral("blocker/quorix/quorix7.ini")));
        Answers answers;
        QVERIFY(w->close());
        QCOMPARE(answers.asked.size(), 1);
        QCOMPARE(answers.asked[0].caption, QStringLiteral("Error"));
        QCOMPARE(answers.asked[0].icon, QMessageBox::Critical);
        const QString text = answers.asked[0].text;
        QVERIFY2(text.contains(w->configPath()) && text.contains(QDir::toNativeSeparators(
                                                       dir.file(QStringLiteral("blocker/quorix")))),
                 qPrintable(text));

        // A file that is there but cannot be replaced is reported with the system's text.
        WorkDir other;
        QDir(other.path()).mkdir(QStringLiteral("quorix7.ini"));
        auto again = startWindow();
        Answers more;
        QVERIFY(again->close());
        QCOMPARE(more.asked.size(), 1);
        QVERIFY2(more.asked[0].text.startsWith(QStringLiteral("Unable to write to \"%1\":\r")
                                                   .arg(other.file(QStringLiteral("quorix7.ini")))),
                 qPrintable(more.asked[0].text));
    }

    void profileFile() {
        WorkDir dir;
        dir.write(QStringLiteral("p.ini"),
                  "[Sec]\nName = \"quoted value\" \nkey=1\n[sec]\nkey=2\n");
        ProfileFile f(dir.file(QStringLiteral("p.ini")));
        QVERIFY(f.load());
        // Names regardless of case; the first of two equal sections counts.
        QCOMPARE(f.value("SEC", "KEY"), std::optional<QByteArray>("1"));
        QCOMPARE(f.value("sec", "name"), std::optional<QByteArray>("quoted value"));
        QCOMPARE(f.value("sec", "missing"), std::nullopt);
        QCOMPARE(f.value("nosuch", "key"), std::nullopt);
        f.setValue("SEC", "Key", "3");
        f.setValue("sec", "new", "4");
        QVERIFY(f.save());
        QCOMPARE(dir.read(QStringLiteral("p.ini")),
                 QByteArray("[Sec]\nName = \"quoted value\" \nKey=3\nnew=4\n[sec]\nkey=2\n"));
        // A file that exists but cannot be read is not taken for an empty one.
        QDir(dir.path()).mkdir(QStringLiteral("d.ini"));
        ProfileFile unreadable(dir.file(QStringLiteral("d.ini")));
        QString error;
        QVERIFY(!unreadable.load(&error));
        QVERIFY(!error.isEmpty());
    }

    // --- Closing ---------------------------------------------------------

    void closeRefusedWhileTransferring() {
        WorkDir dir;
        auto w = startWindow();
        w->phonebook().bookChanged = true;
        {
            TransferRunning running(*w);
            Answers answers;
            QVERIFY(!w->close());
            QVERIFY(w->isVisible());
            QVERIFY(answers.asked.isEmpty()); // refused without a word
            QVERIFY(!w->confirmClose());
        }
        w->phonebook().bookChanged = false;
    }

    void closeUnchangedBookAsksNothing() {
        WorkDir dir;
        auto w = startWindow();
        Answers answers;
        QVERIFY(w->close());
        QVERIFY(answers.asked.isEmpty());
        QCOMPARE(w->saves, 0);
    }

    void closeQuestion_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("saveSucceeds");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("saves");

        const QString noName = QStringLiteral("Save changes to the new book?");
        const QString named = QStringLiteral("Save changes to \"book.pbf\"?");
        const QString path = QDir::tempPath() + QStringLiteral("/dir/book.pbf");
        QTest::newRow("cancel keeps the window")
            << QString() << int(QMessageBox::Cancel) << false << noName << false << 0;
        QTest::newRow("no closes without saving")
            << path << int(QMessageBox::No) << false << named << true << 0;
        QTest::newRow("yes and saved closes")
            << path << int(QMessageBox::Yes) << true << named << true << 1;
        QTest::newRow("yes but not saved keeps the window")
            << QString() << int(QMessageBox::Yes) << false << noName << false << 1;
    }

    void closeQuestion() {
        QFETCH(QString, file);
        QFETCH(int, answer);
        QFETCH(bool, saveSucceeds);
        QFETCH(QString, text);
        QFETCH(bool, closes);
        QFETCH(int, saves);

        WorkDir dir;
        auto w = startWindow();
        fill(w->model(), {"Anna|1", "Bob|2"});
        w->phonebook().bookChanged = true;
        w->phonebook().bookFileName = file;
        w->saveSucceeds = saveSucceeds;
        Answers answers({QMessageBox::StandardButton(answer)});

        QCOMPARE(w->close(), closes);
        QCOMPARE(answers.asked.size(), 1);
        const Question& q = answers.asked[0];
        QCOMPARE(q.caption, QStringLiteral("Book changed!"));
        QCOMPARE(q.text, text);
        QCOMPARE(q.icon, QMessageBox::Question);
        QCOMPARE(q.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        // The buttons say what they do.
        const QList<QPair<QMessageBox::StandardButton, QString>> labels = {
            {QMessageBox::Yes, QStringLiteral("&Save")},
            {QMessageBox::No, QStringLiteral("Do&n't Save")},
            {QMessageBox::Cancel, QStringLiteral("Cancel")}};
        QCOMPARE(q.labels, labels);
        QCOMPARE(w->saves, saves);
        QCOMPARE(w->isVisible(), !closes);
        if (!closes) {
            // Nothing of the book is lost, and it is still marked as unsaved.
            QCOMPARE(describeBook(w->phonebook()),
                     QByteArray("Anna\n  General: 1\nBob\n  General: 2\n"));
            QVERIFY(w->phonebook().bookChanged);
            QVERIFY(!QFile::exists(dir.userConfig()));
        } else {
            QVERIFY(QFile::exists(dir.userConfig()));
        }
    }

    void quitKeyAsksTheCloseQuestion() {
        WorkDir dir;
        auto w = startWindow();
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->phonebook().bookChanged = true;
        {
            Answers answers({QMessageBox::Cancel});
            QTest::keySequence(w->treeView(), QKeySequence(Qt::CTRL | Qt::Key_Q));
            QCOMPARE(answers.asked.size(), 1);
            QCOMPARE(answers.asked[0].caption, QStringLiteral("Book changed!"));
            QVERIFY(w->isVisible());
        }
        Answers answers({QMessageBox::No});
        QTest::keySequence(w->treeView(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        QCOMPARE(answers.asked.size(), 1);
        QVERIFY(!w->isVisible());
    }

    void closeQuestionButtonsOnScreen() {
        // The real box, with the labels on its buttons and Escape as Cancel.
        WorkDir dir;
        auto w = startWindow();
        w->phonebook().bookChanged = true;
        QStringList seen;
        QTimer::singleShot(100, w.get(), [&seen] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (QAbstractButton* b : box->buttons())
                seen << b->text();
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QVERIFY(!w->confirmClose());
        seen.sort();
        QCOMPARE(seen, (QStringList{"&Save", "Cancel", "Do&n't Save"}));
        w->phonebook().bookChanged = false;
    }

    // --- Info window -----------------------------------------------------

    void infoWindowAtStart() {
        WorkDir dir;
        dir.write(QStringLiteral("quorix7.ini"), "[CONFIG]\nPORT=2\n");
        Window w;
        w.createWindows();
        QSignalSpy started(&w, &MainWindow::startupFinished);
        w.show();
        InfoWindow* info = test::child<InfoWindow>(w);
        QTRY_VERIFY(info->isVisible());
        QCOMPARE(info->windowModality(), Qt::ApplicationModal);
        QCOMPARE(info->windowTitle(), QStringLiteral("Version 0.9.7 beta"));
        const int s = info->scale();
        QCOMPARE(info->size(), QSize(338 * s / 100, 177 * s / 100));
        QCOMPARE(info->okButton()->geometry(),
                 QRect(136 * s / 100, 148 * s / 100, 65 * s / 100, 25 * s / 100));
        QCOMPARE(
            info->reminder()->toPlainText(),
            QStringLiteral("Read release-notes (see \"Help\")\nbefore connecting your phone!"));
        QCOMPARE(info->pos(), centreOn(w.frameGeometry(), info->frameGeometry().size(),
                                       info->screen()->geometry()));
        // Start-up waits for the info window.
        QCOMPARE(started.count(), 0);
        QVERIFY(!w.configLoaded());

        // The reminder flashes between the button face and red.
        const QColor face = info->palette().color(QPalette::Button);
        QVERIFY(info->blinking());
        QTRY_COMPARE_WITH_TIMEOUT(info->reminderColour(), QColor(Qt::red), 1500);
        QTRY_COMPARE_WITH_TIMEOUT(info->reminderColour(), face, 1500);
        QTRY_COMPARE_WITH_TIMEOUT(info->reminderColour(), QColor(Qt::red), 1500);

        QTest::mouseClick(info->okButton(), Qt::LeftButton);
        QVERIFY(!info->isVisible());
        QCOMPARE(started.count(), 1);
        QCOMPARE(w.settings().port, 1); // the settings are read after it closed
        // Closed: the flashing stops for good, on the button face.
        QVERIFY(!info->blinking());
        QCOMPARE(info->reminderColour(), face);

        // Help > About shows it again, still.
        test::command(w, "help.about")->trigger();
        QVERIFY(info->isVisible());
        QTest::qWait(3 * InfoWindow::BlinkMs);
        QVERIFY(!info->blinking());
        QCOMPARE(info->reminderColour(), face);
        info->close();
        QVERIFY(!info->isVisible());
        QCOMPARE(started.count(), 1);

        // Not while a transfer runs.
        {
            TransferRunning running(w);
            test::command(w, "help.about")->trigger();
            QVERIFY(!info->isVisible());
        }
    }

    // --- Message boxes ---------------------------------------------------

    void messageBoxShowsPlainTextLines() {
        QString shown;
        Qt::TextFormat format = Qt::AutoText;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            shown = box->text();
            format = box->textFormat();
            box->button(QMessageBox::Cancel)->click();
        });
        poll.start(10);
        const auto answer = MessageBoxes::ask(
            nullptr, QStringLiteral("Book changed!"),
            QStringLiteral("Save changes to <no name yet>?\rSecond line"), QMessageBox::Question,
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(answer, QMessageBox::Cancel);
        QCOMPARE(shown, QStringLiteral("Save changes to <no name yet>?\nSecond line"));
        QCOMPARE(format, Qt::PlainText);
    }
};

QTEST_MAIN(TestApp)
#include "tst_app.moc"
