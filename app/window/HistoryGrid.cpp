#include "HistoryGrid.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>

#include "UiFonts.h"

namespace {

constexpr int kHoraWidth = 41;
constexpr int kTextoWidth = 190;
// Characters of the widest 32-bit integer, "-2147483648".
constexpr int kIntegerChars = 11;
constexpr int kCellMargin = 4;

// Draws each cell as usual, then its column line on the right edge: the grid has column
// lines but no row lines, which the view's own grid cannot draw.
class ColumnLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->restore();
    }
};

} // namespace

void SetUpHistoryGrid(QTableView* grid) {
    grid->setItemDelegate(new ColumnLineDelegate(grid));
    grid->setShowGrid(false);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setTabKeyNavigation(true);
    grid->setWordWrap(false);
    grid->setTextElideMode(Qt::ElideNone);
    grid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    grid->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);

    // The selected row looks the same whether or not the grid has the focus.
    QPalette pal = grid->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
    grid->setPalette(pal);

    grid->verticalHeader()->hide();
    const int rowHeight = QFontMetrics(grid->font()).height() + 4;
    grid->verticalHeader()->setMinimumSectionSize(rowHeight);
    grid->verticalHeader()->setDefaultSectionSize(rowHeight);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView* titles = grid->horizontalHeader();
    titles->setFont(UiFont(true));
    titles->setDefaultAlignment(Qt::AlignCenter);
    titles->setSectionResizeMode(QHeaderView::Fixed);
    titles->setSectionsMovable(false);
    titles->setSectionsClickable(false);
    titles->setHighlightSections(false);
    titles->setStretchLastSection(false);
    titles->setFixedHeight(rowHeight + 1);
    titles->setStyleSheet(QStringLiteral(
        "QHeaderView::section { background-color: navy; color: white; font-weight: bold; "
        "border: none; border-right: 1px solid silver; border-bottom: 1px solid silver; "
        "padding: 0px 2px; }"));
    ApplyHistoryColumnWidths(grid);
}

int CardColumnDefaultWidth(const QTableView* grid) {
    const QFontMetrics cells(grid->font());
    const QFontMetrics titles(grid->horizontalHeader()->font());
    const int title = titles.horizontalAdvance(QStringLiteral("Cartão")) + kCellMargin;
    return qMax(kIntegerChars * cells.horizontalAdvance(QLatin1Char('0')) + kCellMargin, title);
}

void ApplyHistoryColumnWidths(QTableView* grid) {
    grid->setColumnWidth(0, kHoraWidth);
    grid->setColumnWidth(1, CardColumnDefaultWidth(grid));
    grid->setColumnWidth(2, kTextoWidth);
}
