#include "skin/SkinResources.h"

#include <mutex>

// Q_INIT_RESOURCE declares a function, so it has to be used outside any namespace.
static void RegisterSkinBitmaps() {
    Q_INIT_RESOURCE(skin_bitmaps);
}

EResNotFound::EResNotFound(const std::string& name)
    : std::runtime_error("Resource " + name + " not found"), name_(name) {}

void InitSkinResources() {
    static std::once_flag once;
    std::call_once(once, RegisterSkinBitmaps);
}

QString SkinResourcePath(const std::string& name) {
    return QStringLiteral(":/skin/") + QString::fromStdString(name);
}

QImage LoadBitmapResource(const std::string& name) {
    InitSkinResources();
    QImage image;
    if (name.empty() || !image.load(SkinResourcePath(name), "BMP")) {
        throw EResNotFound(name);
    }
    return image;
}
