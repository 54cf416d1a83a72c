// plinova-skingen: draws the skin bitmaps and the window's button pictures into a
// resources folder, with the .qrc that compiles them into plinova_skin. Run it by
// hand after changing a picture and commit its output:
//   plinova-skingen <repository>/resources

#include "BmpWriter.h"
#include "ButtonArt.h"
#include "SkinArt.h"
#include "WindowPictures.h"

#include "generated/Version.h"
#include "skin/StyleTable.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSet>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <exception>
#include <set>

namespace {

// The icon sizes the packages install (hicolor theme folders NxN).
constexpr int kIconSizes[] = {48, 128};

// Every image name of the style table, plus the six extra names.
std::set<QString> ExpectedSkinNames() {
    std::set<QString> names;
    for (int style = 1; style <= 5; ++style) {
        for (int element = 1; element <= kThemeEntryCount; ++element) {
            const std::string name = StyleImageName(static_cast<TsuiUIStyle>(style), element);
            if (!name.empty()) {
                names.insert(QString::fromStdString(name));
            }
        }
    }
    for (const char* extra :
         {"MACOS_COMBOBOX_BUTTON", "WINXP_COMBOBOX_BUTTON", "MACOS_FORM_BACKGROUND",
          "PROTEIN_FORM_BACKGROUND", "MACOS_MENU_BAR", "MACOS_MENU_SELECT"}) {
        names.insert(QString::fromLatin1(extra));
    }
    return names;
}

void WriteQrc(const QString& path, const std::set<QString>& skinNames,
              const std::vector<WindowPicture>& pictures) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        throw std::runtime_error("Cannot write " + path.toStdString() + ": " +
                                 file.errorString().toStdString());
    }
    QTextStream out(&file);
    out << "<!-- Written by plinova-skingen; run it again rather than editing. -->\n";
    out << "<RCC>\n    <qresource prefix=\"/skin\">\n";
    for (const QString& name : skinNames) {
        out << "        <file alias=\"" << name << "\">skin/" << name << ".bmp</file>\n";
    }
    out << "    </qresource>\n    <qresource prefix=\"/pictures\">\n";
    for (const WindowPicture& picture : pictures) {
        out << "        <file alias=\"" << picture.name << "\">pictures/" << picture.name
            << "</file>\n";
    }
    out << "    </qresource>\n</RCC>\n";
}

} // namespace

int main(int argc, char** argv) {
    const char* const usage = "usage: plinova-skingen <resources folder>\n";
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("plinova-skingen " PLINOVA_VERSION);
        return 0;
    }
    QGuiApplication app(argc, argv); // fonts and painting need it
    if (argc != 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    try {
        const QDir root(QString::fromLocal8Bit(argv[1]));
        if (!root.mkpath(QStringLiteral("skin")) || !root.mkpath(QStringLiteral("pictures"))) {
            throw std::runtime_error("Cannot create the folders under " + std::string(argv[1]));
        }
        std::set<QString> expected = ExpectedSkinNames();
        std::set<QString> written;
        for (const ButtonBitmap& button : MakeButtonBitmaps()) {
            WriteBmp(root.filePath(QStringLiteral("skin/%1.bmp").arg(button.name)), button.image,
                     button.bitsPerPixel);
            written.insert(button.name);
        }
        for (const SkinBitmap& bitmap : MakeSkinBitmaps()) {
            WriteBmp(root.filePath(QStringLiteral("skin/%1.bmp").arg(bitmap.name)), bitmap.image,
                     8);
            written.insert(bitmap.name);
        }
        if (written != expected) {
            throw std::runtime_error("The drawn skin bitmaps do not match the style table's names");
        }
        const std::vector<WindowPicture> pictures = MakeWindowPictures();
        for (const WindowPicture& picture : pictures) {
            WriteBmp(root.filePath(QStringLiteral("pictures/") + picture.name), picture.image, 24);
        }
        WriteQrc(root.filePath(QStringLiteral("skin_bitmaps.qrc")), expected, pictures);
        if (!root.mkpath(QStringLiteral("icons"))) {
            throw std::runtime_error("Cannot create the icons folder under " +
                                     std::string(argv[1]));
        }
        for (const int size : kIconSizes) {
            const QString path = root.filePath(QStringLiteral("icons/plinova-%1.png").arg(size));
            if (!MakeProgramIcon(size).save(path, "PNG")) {
                throw std::runtime_error("Cannot write " + path.toStdString());
            }
        }
        std::printf("%zu skin bitmaps and %zu pictures written to %s\n", written.size(),
                    pictures.size(), argv[1]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plinova-skingen: %s\n", error.what());
        return 1;
    }
    return 0;
}
