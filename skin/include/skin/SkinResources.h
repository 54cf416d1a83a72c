#pragma once

#include <QImage>
#include <QString>

#include <stdexcept>
#include <string>

// Raised when a bitmap resource of the given name is not compiled into the program.
class EResNotFound : public std::runtime_error {
public:
    explicit EResNotFound(const std::string& name);
    const std::string& ResourceName() const { return name_; }

private:
    std::string name_;
};

// Registers the skin bitmaps and window pictures compiled into plinova_skin. The
// loaders below call it themselves; a program that opens ":/pictures/..." directly
// (QImage, QPixmap, QIcon) calls it once before doing so. Safe to call repeatedly.
void InitSkinResources();

// Qt resource path of a skin bitmap, e.g. ":/skin/BLUEGLASS_BUTTON".
QString SkinResourcePath(const std::string& name);

// Loads the named skin bitmap; throws EResNotFound when there is none by that name
// (an empty name included).
QImage LoadBitmapResource(const std::string& name);
