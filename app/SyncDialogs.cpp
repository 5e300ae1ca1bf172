#include "app/SyncDialogs.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quorix {

namespace {

QStandardItem* textItem(const QString& text) {
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    return item;
}

} // namespace

QString CompareDialog::stateText(SlotState state) {
    switch (state) {
    case SlotState::Same:
        return QStringLiteral("the same");
    case SlotState::Changed:
        return QStringLiteral("changed");
    case SlotState::New:
        return QStringLiteral("new");
    case SlotState::PhoneOnly:
        return QStringLiteral("only on the phone");
    }
    return {};
}

CompareDialog::CompareDialog(const Comparison& c, const Book& book, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Compare with phone"));
    counts_ = new QLabel(
        c.countLine() + QStringLiteral(" (locations %1 to %2)").arg(c.first).arg(c.last), this);
    counts_->setTextFormat(Qt::PlainText);

    auto* model = new QStandardItemModel(0, 5, this);
    model->setHorizontalHeaderLabels({QStringLiteral("Location"), QStringLiteral("State"),
                                      QStringLiteral("In the book"), QStringLiteral("On the phone"),
                                      QStringLiteral("Changes")});
    for (const SlotDiff& d : c.rows) {
        auto* location = textItem({});
        // Sorted as a number; a name without a place sorts first.
        location->setData(d.location, Qt::DisplayRole);
        if (d.location == 0)
            location->setData(QStringLiteral("none free"), Qt::ToolTipRole);
        const QString bookName =
            d.bookRow >= 0 && d.bookRow < book.entryCount() ? book.name(d.bookRow).text : QString();
        model->appendRow({location, textItem(stateText(d.state)), textItem(bookName),
                          textItem(d.phone ? d.phone->name : QString()),
                          textItem(d.changes.join(QStringLiteral("; ")))});
    }
    table_ = new QTableView(this);
    table_->setModel(model);
    table_->setSortingEnabled(true);
    table_->sortByColumn(LocationColumn, Qt::AscendingOrder);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->resizeColumnsToContents();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(counts_);
    layout->addWidget(table_);
    layout->addWidget(buttons);
    resize(720, 420);
}

QString CompareDialog::countText() const {
    return counts_->text();
}

BackupListDialog::BackupListDialog(const std::vector<files::BackupFile>& files, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Restore from backup"));
    list_ = new QTreeWidget(this);
    list_->setHeaderLabels(
        {QStringLiteral("Date"), QStringLiteral("Kind"), QStringLiteral("Names")});
    list_->setRootIsDecorated(false);
    const QLocale locale;
    for (const files::BackupFile& f : files) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, locale.toString(f.when, QLocale::ShortFormat));
        item->setText(1, f.kind == files::BackupKind::Read ? QStringLiteral("after a read")
                                                           : QStringLiteral("before a write"));
        item->setText(2, QString::number(f.names));
        item->setData(0, Qt::UserRole, f.path);
        item->setToolTip(0, f.path);
    }
    if (list_->topLevelItemCount() > 0)
        list_->setCurrentItem(list_->topLevelItem(0));
    list_->resizeColumnToContents(0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Open)->setEnabled(!files.empty());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(460, 360);
}

QString BackupListDialog::chosenPath() const {
    const QTreeWidgetItem* item = list_->currentItem();
    return item ? item->data(0, Qt::UserRole).toString() : QString();
}

} // namespace quorix
