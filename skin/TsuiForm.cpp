#include "TsuiForm.h"

TsuiForm::TsuiForm(QWidget* parent, TsuiUIStyle style) : QWidget(parent), style_(style) {}
