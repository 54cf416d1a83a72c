#pragma once

class QLabel;
class QPlainTextEdit;
class QStackedWidget;
class QTableView;
class QToolButton;
class QWidget;
class TsuiButton;

// The spooler window's controls, found by their object names as a user's tools see them.
// Throws std::runtime_error when one is missing.
struct Controls {
    explicit Controls(QWidget& window);

    QToolButton* btopen;
    QLabel* Label1;
    QLabel* numcartao;
    QLabel* Label2;
    QLabel* status;
    QToolButton* btclose;
    QLabel* porta;
    QStackedWidget* pcontrol;
    QLabel* Label4;
    QPlainTextEdit* texto;
    QLabel* Label3;
    QTableView* lista;
    TsuiButton* btup;
    TsuiButton* btdown;
    TsuiButton* btprint;
    TsuiButton* btmod;
    TsuiButton* btfechar;
};
