#include "app/BookTable.h"

#include "model/BookTableModel.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace quorix {

namespace {

// Rows keep one line's height, so that a big book scrolls and sorts quickly:
// the lines of a cell show side by side, and in full as its tool tip and in
// the editor, which takes one subentry per line.
class CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QString displayText(const QVariant& value, const QLocale& locale) const override {
        return QStyledItemDelegate::displayText(value, locale)
            .replace(u'\n', QStringLiteral(" / "));
    }
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        if (index.column() == BookTableModel::NameColumn)
            return QStyledItemDelegate::createEditor(parent, option, index);
        auto* edit = new QPlainTextEdit(parent);
        edit->setTabChangesFocus(true);
        return edit;
    }
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override {
        if (auto* edit = qobject_cast<QPlainTextEdit*>(editor)) {
            // Room for every line the cell may get.
            const int lines =
                std::max(2, int(index.data(Qt::EditRole).toString().count(u'\n')) + 2);
            QRect r = option.rect;
            r.setHeight(std::max(r.height(), edit->fontMetrics().lineSpacing() * lines + 8));
            edit->setGeometry(r);
            return;
        }
        QStyledItemDelegate::updateEditorGeometry(editor, option, index);
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* edit = qobject_cast<QPlainTextEdit*>(editor))
            edit->setPlainText(index.data(Qt::EditRole).toString());
        else
            QStyledItemDelegate::setEditorData(editor, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        if (auto* edit = qobject_cast<QPlainTextEdit*>(editor))
            model->setData(index, edit->toPlainText());
        else
            QStyledItemDelegate::setModelData(editor, model, index);
    }
};

} // namespace

BookTable::BookTable(QWidget* parent)
    : QWidget(parent), table_(new BookTableModel(this)), filter_(new BookTableFilter(this)),
      view_(new QTableView(this)), filterBox_(new QLineEdit(this)) {
    filterBox_->setPlaceholderText(QStringLiteral("Filter names, numbers and texts"));
    filterBox_->setClearButtonEnabled(true);
    filterBox_->setObjectName(QStringLiteral("tableFilter"));
    view_->setObjectName(QStringLiteral("bookTable"));
    view_->setItemDelegate(new CellDelegate(view_));
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    view_->setWordWrap(false);
    view_->verticalHeader()->hide();
    // A fixed row height: the view never measures 100 000 rows.
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->horizontalHeader()->setSortIndicatorShown(true);
    view_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    view_->setSortingEnabled(true);
    view_->setModel(filter_);
    filter_->setSourceModel(table_);
    filter_->setDynamicSortFilter(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(filterBox_);
    layout->addWidget(view_);
    connect(filterBox_, &QLineEdit::textChanged, filter_, &BookTableFilter::setFilterText);
}

void BookTable::attach(BookModel* model) {
    if (table_->bookModel() == model)
        return;
    table_->setSourceModel(model);
}

bool BookTable::isAttached() const {
    return table_->bookModel() != nullptr;
}

QModelIndex BookTable::currentName() const {
    return table_->mapToSource(filter_->mapToSource(view_->currentIndex()));
}

void BookTable::showName(const QModelIndex& bookIndex) {
    QModelIndex name = bookIndex;
    while (name.isValid() && name.parent().isValid() && name.parent().parent().isValid())
        name = name.parent();
    const QModelIndex row = filter_->mapFromSource(table_->mapFromSource(name));
    if (!row.isValid())
        return;
    view_->setCurrentIndex(row.siblingAtColumn(0));
    view_->scrollTo(row, QAbstractItemView::PositionAtCenter);
}

} // namespace quorix
