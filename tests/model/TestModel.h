#pragma once

#include <QObject>

// One test class for the model folder; its slots live in tst_*.cpp by topic.
class TestModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // tst_model.cpp: the book, its helpers and the item model
    void cleanNumber_data();
    void cleanNumber();
    void importedNumber_data();
    void importedNumber();
    void sortClasses();
    void groupTable();
    void findnameIsExactAndSkips();
    void newEntryName();
    void countsAndClassOrder();
    void addAtTopThenFlipKeepsSourceOrder();
    void insertBeforeAndRows();
    void rowsStayRightThroughMixedChanges();
    void entryNotes();
    void bookModelIsConsistent();

    // tst_editor.cpp: the editing commands
    void newEntry();
    void newEntryOnCollapsedNameMakesNameInFront();
    void newTextEntry();
    void newName();
    void fullNameTakesNoMore();
    void labelEditorRefusesRootAndGroups();
    void committedSubentryEditCleansAndSorts();
    void settypeConvertsAndSorts();
    void settypeIgnoresGroupsNamesAndRoot();
    void mergeYesMovesEverythingAndDropsOther();
    void mergeKeepsOwnGroup();
    void mergeNoRestoresText();
    void mergeAbortsWhenFull();
    void caseDifferingNamesDoNotMerge();
    void deleteAsksAndCollapsesParent();
    void clearAndNewBook();
    void expandAndCollapseAll();
    void setgroupReplacesGroup();

    // tst_sortdrag.cpp: sorting, flipping, drag-and-drop
    void nameOrder_data();
    void nameOrder();
    void sortBook();
    void sortKeepsPersistentIndexes();
    void flipTwiceIsIdentity();
    void dragCodes_data();
    void dragCodes();
    void dropOnName();
    void dropOnSubentry();
    void treeViewDragGoesThroughModelApi();
    void dropRespectsLimits();

    // tst_search.cpp: find, and the phone's limits
    void findIgnoresCaseAndAccents();
    void findWalksTreeOrder();
    void textsLongerThanThePhoneStores();

    // tst_merge.cpp: adding a book to a book, finding and merging duplicates
    void addToBook_data();
    void addToBook();
    void findAndMergeDuplicates_data();
    void findAndMergeDuplicates();
};
