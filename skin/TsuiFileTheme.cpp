#include "skin/TsuiFileTheme.h"

#include "StyleBitmap.h"
#include "skin/SkinResources.h"
#include "skin/StyleTable.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

TsuiFileTheme::TsuiFileTheme(QObject* parent) : QObject(parent) {}

bool TsuiFileTheme::Load(const QString& folder) {
    loaded_ = false;
    values_.clear();
    const QString iniPath = QDir(folder).filePath(QStringLiteral("theme.ini"));
    if (!QFileInfo(iniPath).isReadable()) {
        lastError_ = QStringLiteral("Theme file %1 cannot be read").arg(iniPath);
        return false;
    }
    QSettings ini(iniPath, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        lastError_ = QStringLiteral("Theme file %1 is malformed").arg(iniPath);
        return false;
    }
    ini.beginGroup(QStringLiteral("Theme"));
    for (int element = 1; element <= kThemeEntryCount; ++element) {
        const QString key = QString::fromLatin1(ThemeEntryKey(element));
        if (ini.contains(key)) {
            values_.insert(key, ini.value(key).toString());
        }
    }
    folder_ = folder;
    lastError_.clear();
    loaded_ = true;
    return true;
}

QImage TsuiFileTheme::GetBitmap(int element, int frameIndex, int frameCount) const {
    const QString key = QString::fromLatin1(ThemeEntryKey(element));
    const QString file = values_.value(key);
    QImage whole;
    if (!loaded_ || ThemeEntryKindOf(element) != ThemeEntryKind::Image || file.isEmpty() ||
        !whole.load(QDir(folder_).filePath(file))) {
        throw EResNotFound(file.isEmpty() ? key.toStdString() : file.toStdString());
    }
    if (frameCount == 0) {
        return whole;
    }
    QImage frame;
    CutFrame(whole, frame, frameCount, frameIndex);
    return frame;
}

bool TsuiFileTheme::GetBool(int element) const {
    return ThemeEntryKindOf(element) == ThemeEntryKind::Boolean && GetInt(element) == 1;
}

std::int32_t TsuiFileTheme::GetInt(int element) const {
    const ThemeEntryKind kind = ThemeEntryKindOf(element);
    if (kind != ThemeEntryKind::Integer && kind != ThemeEntryKind::Boolean) {
        return -1;
    }
    bool ok = false;
    const int value = values_.value(QString::fromLatin1(ThemeEntryKey(element))).toInt(&ok);
    return ok ? value : -1;
}

std::uint32_t TsuiFileTheme::GetColor(int element) const {
    if (ThemeEntryKindOf(element) != ThemeEntryKind::Color) {
        return 0;
    }
    bool ok = false;
    const uint value = values_.value(QString::fromLatin1(ThemeEntryKey(element))).toUInt(&ok, 16);
    return ok && value <= 0xFFFFFF ? value : 0;
}
