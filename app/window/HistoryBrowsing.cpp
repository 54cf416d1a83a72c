#include "MainWindow.h"

#include <QTableView>

#include "HistoryGrid.h"

void Tmain::OpenHistory() {
    try {
        history_.Open();
    } catch (...) {
        ShowHistory();
        throw;
    }
    ShowHistory();
}

void Tmain::CloseHistory() {
    history_.Close();
    ShowHistory();
}

void Tmain::ShowHistory() {
    ApplyHistoryColumnWidths(lista);
    if (history_.CurrentRow() >= 0)
        lista->selectRow(history_.CurrentRow());
}
