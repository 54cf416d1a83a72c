#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QString>

#include <cstdint>

// An external theme: the same entries as the built-in style table, read from a
// folder. The folder holds "theme.ini" whose [Theme] section stores each entry under
// its key name (see ThemeEntryKey): integers and booleans as numbers, colours as six
// hexadecimal digits BBGGRR, images as a bitmap file name relative to the folder.
class TsuiFileTheme : public QObject {
public:
    explicit TsuiFileTheme(QObject* parent = nullptr);

    // Reads the theme of `folder`. On failure the theme is not usable and
    // LastError() says why.
    bool Load(const QString& folder);

    // True once a theme has been loaded successfully.
    bool CanUse() const { return loaded_; }
    const QString& LastError() const { return lastError_; }

    // Frame `frameIndex` of `frameCount` of the element's bitmap, cut like CutFrame
    // (the whole bitmap when `frameCount` is 0). Throws EResNotFound when the theme
    // names no readable bitmap for the element.
    QImage GetBitmap(int element, int frameIndex, int frameCount) const;

    // The element's value, or the neutral answer (false, -1, colour 0) when the theme
    // does not store it or stores something unreadable.
    bool GetBool(int element) const;
    std::int32_t GetInt(int element) const;
    std::uint32_t GetColor(int element) const;

private:
    QString folder_;
    QHash<QString, QString> values_;
    bool loaded_ = false;
    QString lastError_;
};
