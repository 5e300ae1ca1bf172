#include "app/DuplicatesDialog.h"

#include "app/MessageBoxes.h"
#include "model/BookMerge.h"
#include "model/BookModel.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorix {

DuplicatesDialog::DuplicatesDialog(BookModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    setWindowTitle(QStringLiteral("Find duplicates"));
    setModal(true);
    heading = new QLabel(this);
    heading->setWordWrap(true);
    list = new QListWidget(this);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    auto* buttons = new QDialogButtonBox(this);
    mergeButton = buttons->addButton(QStringLiteral("&Merge"), QDialogButtonBox::AcceptRole);
    skipButton = buttons->addButton(QStringLiteral("&Skip"), QDialogButtonBox::ActionRole);
    closeButton = buttons->addButton(QDialogButtonBox::Close);
    mergeButton->setDefault(true);
    // Merge and Skip step through the groups; only Close ends the dialog.
    connect(mergeButton, &QPushButton::clicked, this, &DuplicatesDialog::mergeGroup);
    connect(skipButton, &QPushButton::clicked, this, &DuplicatesDialog::skipGroup);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(list);
    layout->addWidget(buttons);
    resize(420, 300);

    const Book& book = model_.book();
    for (const DuplicateGroup& rows : findDuplicates(book)) {
        std::vector<Name*> names;
        for (const int row : rows)
            names.push_back(&model_.book().name(row));
        groups_.push_back(std::move(names));
    }
    showGroup();
}

QString DuplicatesDialog::summary() const {
    return QStringLiteral("Duplicates: %1 merged, %2 skipped").arg(merged_).arg(skipped_);
}

void DuplicatesDialog::showGroup() {
    const Book& book = model_.book();
    for (; current_ < groups_.size(); ++current_) {
        const auto& names = groups_[current_];
        if (std::all_of(names.begin(), names.end(),
                        [&](const Name* n) { return book.rowOf(n) >= 0; }))
            break;
    }
    list->clear();
    if (current_ >= groups_.size()) {
        heading->setText(QStringLiteral("No more duplicates."));
        mergeButton->setEnabled(false);
        skipButton->setEnabled(false);
        closeButton->setDefault(true);
        closeButton->setFocus();
        return;
    }
    heading->setText(QStringLiteral("These names may be one person (group %1 of %2). Merge "
                                    "keeps the first name with everything the others add.")
                         .arg(current_ + 1)
                         .arg(groups_.size()));
    for (const Name* name : groups_[current_]) {
        QStringList numbers;
        for (const Subentry& sub : name->subs)
            if (isNumberKind(sub.kind))
                numbers << sub.text;
        list->addItem(numbers.isEmpty() ? name->text
                                        : name->text + QStringLiteral(" \u2013 ") +
                                              numbers.join(QStringLiteral(", ")));
    }
}

void DuplicatesDialog::mergeGroup() {
    if (current_ >= groups_.size())
        return;
    Book& book = model_.book();
    const auto& names = groups_[current_];
    DuplicateGroup rows;
    for (const Name* n : names)
        rows.push_back(book.rowOf(n));
    bool merged = false;
    {
        const BookStepScope step(model_,
                                 QStringLiteral("Merge ") + quotedForStep(names.front()->text));
        merged = mergeNames(model_, rows);
    }
    if (!merged) {
        MessageBoxes::error(this, QStringLiteral("Merging not possible!\rNot enough space for all "
                                                 "entries.\rMerging aborted."));
        return;
    }
    book.bookChanged = true;
    ++merged_;
    ++current_;
    showGroup();
}

void DuplicatesDialog::skipGroup() {
    if (current_ >= groups_.size())
        return;
    ++skipped_;
    ++current_;
    showGroup();
}

} // namespace quorix
