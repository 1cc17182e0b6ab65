#pragma once
#include <QFont>

// The windows' fonts at a character height in pixels. Each asks for the
// face the layout names first, then for faces that carry the same Japanese
// glyphs on systems without it (IPA, then Noto CJK).
QFont GothicFont(int PixelSize);  // "ＭＳ Ｐゴシック"
QFont MinchoFont(int PixelSize);  // "ＭＳ Ｐ明朝"
