#pragma once

#include <QObject>

// One test class for the model folder; its slots live in tst_*.cpp by topic.
class TestModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // tst_model.cpp: the book, its helpers and the item model
    void cuttonumber_data();
    void cuttonumber();
    void sortClasses();
    void groupTable();
    void findnameIsExactAndSkips();
    void newentryname();
    void countsAndClassOrder();
    void addAtTopThenFlipKeepsSourceOrder();
    void insertBeforeAndRows();
    void rowsStayRightThroughMixedChanges();
    void entryNotes();
    void bookModelIsConsistent();

    // tst_sortdrag.cpp: sorting, flipping, drag-and-drop
    void nameOrder_data();
    void nameOrder();
};
