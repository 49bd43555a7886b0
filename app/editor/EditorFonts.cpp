#include "editor/EditorFonts.h"

#include <QFontDatabase>

namespace quillet {

QFont codeEditorFont()
{
    const QString family = QStringLiteral("Source Code Pro");
    QFont font = QFontDatabase::hasFamily(family) ? QFont(family) : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(12.0);
    return font;
}

} // namespace quillet
