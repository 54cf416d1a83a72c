#include "MainWindow.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTableView>
#include <QToolButton>

#include "ErrorReport.h"
#include "HistoryGrid.h"
#include "HistoryModel.h"
#include "UiFonts.h"
#include "skin/SkinResources.h"
#include "skin/TsuiButton.h"

namespace {

const QColor kNavy(0, 0, 128);
const QColor kSilver(192, 192, 192);

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& r, bool boldNavy,
                  Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(r);
    l->setAlignment(align);
    if (boldNavy) {
        l->setFont(UiFont(true));
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, kNavy);
        l->setPalette(p);
    }
    return l;
}

QToolButton* MakeSpeedButton(QWidget* parent, const QRect& r, const QString& picture) {
    InitSkinResources();
    auto* b = new QToolButton(parent);
    b->setGeometry(r);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    const QPixmap pm(picture);
    b->setIcon(QIcon(pm));
    b->setIconSize(pm.isNull() ? QSize(16, 16) : pm.size());
    return b;
}

// A page of the page control, named, with the title a tab of it would show.
QWidget* MakePage(const QString& name, const QString& title) {
    auto* page = new QWidget;
    page->setObjectName(name);
    page->setWindowTitle(title);
    return page;
}

} // namespace

void Tmain::BuildControls() {
    InstallFontSubstitutes();

    // The window has no caption bar: its title only names its task-bar entry, which brings
    // it back after btclose minimised it.
    setWindowTitle(QStringLiteral("Plinova"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setMinimumSize(125, 25);
    setGeometry(441, 0, 335, 500);
    setFont(UiFont(false));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kSilver);
    setPalette(pal);
    setAutoFillBackground(true);

    btopen = MakeSpeedButton(this, QRect(1, 1, 33, 22), QStringLiteral(":/pictures/btopen.bmp"));
    Label1 = MakeLabel(this, QStringLiteral("Cartão"), QRect(48, 5, 33, 13), false,
                       Qt::AlignRight | Qt::AlignTop);
    numcartao = MakeLabel(this, QString(), QRect(85, 5, 50, 13), true);
    Label2 = MakeLabel(this, QStringLiteral("Estado:"), QRect(139, 5, 37, 13), false,
                       Qt::AlignRight | Qt::AlignTop);
    status = MakeLabel(this, QString(), QRect(182, 5, 99, 13), true);
    btclose =
        MakeSpeedButton(this, QRect(303, 1, 31, 23), QStringLiteral(":/pictures/btclose.bmp"));
    porta = MakeLabel(this, QStringLiteral("porta"), QRect(19, 183, 26, 13), false);

    pcontrol = new QStackedWidget(this);
    pcontrol->setGeometry(2, 30, 330, 427);

    tabprint = MakePage(QStringLiteral("tabprint"), QStringLiteral("Impressão"));
    Label4 = MakeLabel(tabprint, QStringLiteral("Ultima impressão"), QRect(6, 3, 99, 13), true);
    texto = new QPlainTextEdit(tabprint);
    texto->setGeometry(0, 21, 322, 393);
    texto->setFont(MemoFont());
    texto->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    texto->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    texto->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    texto->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    texto->document()->setDocumentMargin(1);
    QPalette white = texto->palette();
    white.setColor(QPalette::Base, Qt::white);
    texto->setPalette(white);
    pcontrol->addWidget(tabprint);

    tabhist = MakePage(QStringLiteral("tabhist"), QStringLiteral("Histórico"));
    Label3 = MakeLabel(tabhist, QStringLiteral("Histórico"), QRect(6, 3, 99, 13), true);
    lista = new QTableView(tabhist);
    lista->setGeometry(0, 17, 322, 342);
    lista->setModel(&history_.Model());
    SetUpHistoryGrid(lista);
    lista->installEventFilter(this);
    connect(lista->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    history_.SetCurrentRow(current.row());
            });
    pcontrol->addWidget(tabhist);

    BuildSkinnedButtons();
}

void Tmain::BuildSkinnedButtons() {
    InitSkinResources();
    auto make = [](QWidget* parent, const QRect& r, const QString& picture,
                   const QString& caption) {
        auto* b = new TsuiButton(parent);
        b->SetUIStyle(TsuiUIStyle::BlueGlass);
        b->SetTransparent(true);
        b->SetAutoSize(false);
        b->SetLayout(TButtonLayout::blGlyphLeft);
        b->SetSpacing(4);
        b->SetFocusedRectMargin(2);
        b->SetGlyph(QImage(picture));
        b->SetCaption(caption);
        b->setGeometry(r);
        return b;
    };
    btup = make(tabhist, QRect(2, 365, 54, 49), QStringLiteral(":/pictures/btup.bmp"), QString());
    btdown =
        make(tabhist, QRect(56, 365, 54, 49), QStringLiteral(":/pictures/btdown.bmp"), QString());
    btprint = make(tabhist, QRect(193, 365, 107, 49), QStringLiteral(":/pictures/btprint.bmp"),
                   QStringLiteral("Imprimir"));
    btmod = make(this, QRect(8, 460, 105, 38), QStringLiteral(":/pictures/btmod.bmp"), QString());
    btfechar =
        make(this, QRect(255, 460, 76, 38), QStringLiteral(":/pictures/btfechar.bmp"), QString());

    // Every handler runs through the error report: an error ends the handler, not the program.
    auto onClick = [this](auto* button, void (Tmain::*handler)()) {
        connect(button, &std::remove_pointer_t<decltype(button)>::clicked, this,
                [this, handler] { reports_.Run([this, handler] { (this->*handler)(); }); });
    };
    onClick(btopen, &Tmain::btopenClick);
    onClick(btclose, &Tmain::btcloseClick);
    onClick(btup, &Tmain::btupClick);
    onClick(btdown, &Tmain::btdownClick);
    onClick(btprint, &Tmain::btprintClick);
    onClick(btmod, &Tmain::btmodClick);
    onClick(btfechar, &Tmain::btfecharClick);
    const std::pair<QWidget*, const char*> names[] = {
        {btopen, "btopen"}, {Label1, "Label1"},     {numcartao, "numcartao"},
        {Label2, "Label2"}, {status, "status"},     {btclose, "btclose"},
        {porta, "porta"},   {pcontrol, "pcontrol"}, {Label4, "Label4"},
        {texto, "texto"},   {Label3, "Label3"},     {lista, "lista"},
        {btup, "btup"},     {btdown, "btdown"},     {btprint, "btprint"},
        {btmod, "btmod"},   {btfechar, "btfechar"},
    };
    for (const auto& [widget, name] : names)
        widget->setObjectName(QLatin1String(name));

    // Tab order of the window's own controls.
    setTabOrder(btfechar, pcontrol);
    setTabOrder(pcontrol, btmod);
}
