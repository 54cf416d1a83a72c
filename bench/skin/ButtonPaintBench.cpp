// Paints a skinned button the way the window shows it: 76 x 38, BlueGlass, a 32-pixel
// glyph left of its caption. Every paint loads and cuts the style bitmap again, so
// this is the whole cost of one repaint.
#include "skin/SkinResources.h"
#include "skin/TsuiButton.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <benchmark/benchmark.h>

namespace {

void PaintButton(benchmark::State& state, bool pressed) {
    TsuiButton button;
    button.SetUIStyle(TsuiUIStyle::BlueGlass);
    button.resize(76, 38);
    button.SetGlyph(QImage(QStringLiteral(":/pictures/btfechar.bmp")));
    button.SetCaption(QStringLiteral("Fechar"));
    if (pressed) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&button, &press);
    }
    QImage target(button.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        target.fill(Qt::transparent);
        button.render(&target, QPoint(), QRegion(), QWidget::DrawChildren);
        benchmark::DoNotOptimize(target.constBits());
    }
}

void BM_PaintBlueGlassButton(benchmark::State& state) {
    PaintButton(state, false);
}
void BM_PaintBlueGlassButtonPressed(benchmark::State& state) {
    PaintButton(state, true);
}

BENCHMARK(BM_PaintBlueGlassButton)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintBlueGlassButtonPressed)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    InitSkinResources();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
