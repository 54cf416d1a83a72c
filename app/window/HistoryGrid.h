#pragma once

class QTableView;

// The history grid's fixed look: titles in bold white on navy, centred; column lines but no
// row lines; whole-row selection that stays visible without focus; no row indicator, no
// editing, no resizing or moving of columns; cells cut at their edge.
void SetUpHistoryGrid(QTableView* grid);

// Sets the three columns' widths: "Hora" 41, "Cartão" its field's default width, "Texto"
// 190. A model reset gives the columns back their default size, so call it after each one.
void ApplyHistoryColumnWidths(QTableView* grid);

// The default width of the card number column: room for the eleven characters of any 32-bit
// integer in the grid's font and a small margin, and never narrower than its title.
int CardColumnDefaultWidth(const QTableView* grid);
