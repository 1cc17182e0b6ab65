#include "qt/fonts.h"

#include <QStringList>

namespace {

QFont FontOf(const QStringList& families, QFont::StyleHint hint, int pixel_size) {
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(hint);
    font.setPixelSize(pixel_size);
    return font;
}

}  // namespace

QFont GothicFont(int PixelSize) {
    return FontOf({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                   QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                   QStringLiteral("Noto Sans CJK JP")},
                  QFont::SansSerif, PixelSize);
}

QFont MinchoFont(int PixelSize) {
    return FontOf({QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("MS PMincho"),
                   QStringLiteral("IPAPMincho"), QStringLiteral("IPAMincho"),
                   QStringLiteral("Noto Serif CJK JP")},
                  QFont::Serif, PixelSize);
}
