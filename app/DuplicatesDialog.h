#pragma once

#include <QDialog>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

namespace quorix {

class BookModel;
class Name;

// Extras > Find duplicates: shows the groups of names that look like one
// person, one at a time, each with Merge (all or nothing, one undo step) and
// Skip. The dialog is modal, so the book does not change under it otherwise.
class DuplicatesDialog : public QDialog {
    Q_OBJECT
public:
    // Finds the groups in the model's book now.
    explicit DuplicatesDialog(BookModel& model, QWidget* parent = nullptr);

    int groupCount() const { return static_cast<int>(groups_.size()); }
    int mergedCount() const { return merged_; }
    int skippedCount() const { return skipped_; }
    // "Duplicates: 2 merged, 1 skipped" (groups) for the status panel.
    QString summary() const;

    QLabel* heading;
    QListWidget* list;
    QPushButton* mergeButton;
    QPushButton* skipButton;
    QPushButton* closeButton;

public Q_SLOTS:
    // Merges the group shown into its first name; the group stays shown when
    // it does not fit (the error says so).
    void mergeGroup();
    void skipGroup();

private:
    // Shows the next group whose names are all still there, or closes.
    void showGroup();

    BookModel& model_;
    // Names, not rows: a merge removes names and moves the rows after them.
    std::vector<std::vector<Name*>> groups_;
    size_t current_ = 0;
    int merged_ = 0;
    int skipped_ = 0;
};

} // namespace quorix
