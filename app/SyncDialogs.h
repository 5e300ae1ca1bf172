#pragma once

#include "files/Backups.h"
#include "model/PhoneSync.h"

#include <QDialog>
#include <vector>

class QLabel;
class QTableView;
class QTreeWidget;

namespace quorix {

// Transfer → Compare: the counts on top, then one row per location that the
// book or the phone uses, sortable by every column.
class CompareDialog : public QDialog {
    Q_OBJECT
public:
    enum Column { LocationColumn, StateColumn, BookColumn, PhoneColumn, ChangesColumn };

    CompareDialog(const Comparison& comparison, const Book& book, QWidget* parent = nullptr);

    QTableView* table() const { return table_; }
    QString countText() const;

    // "the same", "changed", "new", "only on the phone".
    static QString stateText(SlotState state);

private:
    QLabel* counts_ = nullptr;
    QTableView* table_ = nullptr;
};

// File → Restore from backup: the backups folder's newest files (date, kind,
// names); gives the chosen file's path.
class BackupListDialog : public QDialog {
    Q_OBJECT
public:
    BackupListDialog(const std::vector<files::BackupFile>& files, QWidget* parent = nullptr);

    QString chosenPath() const;
    QTreeWidget* list() const { return list_; }

private:
    QTreeWidget* list_ = nullptr;
};

} // namespace quorix
