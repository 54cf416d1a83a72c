#include "Controls.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTableView>
#include <QToolButton>
#include <stdexcept>

#include "skin/TsuiButton.h"

namespace {

template <typename T> T* Find(QWidget& window, const char* name) {
    T* control = window.findChild<T*>(QLatin1String(name));
    if (control == nullptr)
        throw std::runtime_error(std::string("the window has no control ") + name);
    return control;
}

} // namespace

Controls::Controls(QWidget& w)
    : btopen(Find<QToolButton>(w, "btopen")), Label1(Find<QLabel>(w, "Label1")),
      numcartao(Find<QLabel>(w, "numcartao")), Label2(Find<QLabel>(w, "Label2")),
      status(Find<QLabel>(w, "status")), btclose(Find<QToolButton>(w, "btclose")),
      porta(Find<QLabel>(w, "porta")), pcontrol(Find<QStackedWidget>(w, "pcontrol")),
      Label4(Find<QLabel>(w, "Label4")), texto(Find<QPlainTextEdit>(w, "texto")),
      Label3(Find<QLabel>(w, "Label3")), lista(Find<QTableView>(w, "lista")),
      btup(Find<TsuiButton>(w, "btup")), btdown(Find<TsuiButton>(w, "btdown")),
      btprint(Find<TsuiButton>(w, "btprint")), btmod(Find<TsuiButton>(w, "btmod")),
      btfechar(Find<TsuiButton>(w, "btfechar")) {}
