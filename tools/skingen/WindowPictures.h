#pragma once

#include <QImage>
#include <QString>

#include <vector>

// The pictures of the spooler window's buttons. Each has a plain background whose
// colour is also its top-left pixel, which the buttons treat as see-through.
struct WindowPicture {
    QString name; // file name, e.g. "btopen.bmp"
    QImage image;
};

std::vector<WindowPicture> MakeWindowPictures();

// The program's icon for desktop menus: the print button's printer, drawn at `size` pixels
// on a see-through ground.
QImage MakeProgramIcon(int size);
