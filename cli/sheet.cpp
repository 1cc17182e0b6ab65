#include "cli/sheet.h"

#include <algorithm>
#include <cassert>

#include "view/canvas.h"
#include "view/settings.h"

namespace {

// Labels grow with the pictures: one font pixel per this many pixels of the
// shorter side; the pictures lie this many font pixels apart.
constexpr std::int32_t kPixelsPerLabelScale = 100;
constexpr std::int32_t kGapPerScale = 3;
constexpr TVANE_Color kSheetGround = RGBColor(48, 48, 48);
constexpr TVANE_Color kLabelColour = RGBColor(255, 255, 255);

// A 5 x 7 pixel font: one row per byte, the leftmost pixel in bit 4.
struct TGlyph {
    char Character;
    std::uint8_t Rows[7];
};
constexpr std::int32_t kGlyphWidth = 5, kGlyphHeight = 7, kGlyphGap = 1;
constexpr TGlyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
};

const TGlyph* FindGlyph(char c) {
    for (const TGlyph& glyph : kGlyphs)
        if (glyph.Character == c) return &glyph;
    return nullptr;
}

}  // namespace

std::int32_t LabelHeight(std::int32_t Scale) { return kGlyphHeight * Scale; }

std::int32_t DrawLabel(TCanvas& Canvas, std::int32_t Left, std::int32_t Top, std::string_view Text,
                       std::int32_t Scale) {
    std::int32_t x = Left;
    for (const char c : Text) {
        if (const TGlyph* glyph = FindGlyph(c)) {
            for (std::int32_t row = 0; row < kGlyphHeight; ++row) {
                for (std::int32_t column = 0; column < kGlyphWidth; ++column) {
                    if (!(glyph->Rows[row] & (0x10 >> column))) continue;
                    const std::int64_t px = x + column * Scale, py = Top + row * Scale;
                    Canvas.FillRect(px, py, px + Scale, py + Scale);
                }
            }
        }
        x += (kGlyphWidth + kGlyphGap) * Scale;
    }
    return LabelWidth(Text, Scale);
}

std::int32_t LabelWidth(std::string_view Text, std::int32_t Scale) {
    if (Text.empty()) return 0;
    return (static_cast<std::int32_t>(Text.size()) * (kGlyphWidth + kGlyphGap) - kGlyphGap) * Scale;
}

TContactSheet::TContactSheet(std::int64_t Count, std::int32_t Width, std::int32_t Height)
    : width_(Width), height_(Height) {
    scale_ = std::max(1, std::min(Width, Height) / kPixelsPerLabelScale);
    gap_ = kGapPerScale * scale_;
    label_height_ = LabelHeight(scale_) + 2 * gap_;
    columns_ = 1;
    while (columns_ * columns_ < Count) ++columns_;
    const std::int64_t rows = (Count + columns_ - 1) / columns_;
    sheet_width_ = gap_ + columns_ * (Width + gap_);
    sheet_height_ = gap_ + rows * (Height + label_height_);
}

bool TContactSheet::Fits() const {
    return sheet_width_ <= kMaxCanvasCoord && sheet_height_ <= kMaxCanvasCoord && sheet_width_ * sheet_height_ <= kMaxPixels;
}

void TContactSheet::Place(std::int64_t Index, const TBitmap& Picture, std::string_view Label) {
    if (!sheet_) {
        sheet_ = std::make_unique<TBitmap>(static_cast<std::int32_t>(sheet_width_),
                                           static_cast<std::int32_t>(sheet_height_));
        sheet_->Canvas.Brush.Color = kSheetGround;
        sheet_->Canvas.FillRect(0, 0, sheet_width_, sheet_height_);
    }
    const auto left = static_cast<std::int32_t>(gap_ + (Index % columns_) * (width_ + gap_));
    const auto top = static_cast<std::int32_t>(gap_ + (Index / columns_) * (height_ + label_height_));
    for (std::int32_t y = 0; y < height_; ++y)
        for (std::int32_t x = 0; x < width_; ++x) sheet_->SetPixel(left + x, top + y, Picture.Pixel(x, y));
    sheet_->Canvas.Brush.Color = kLabelColour;
    DrawLabel(sheet_->Canvas, left + (width_ - LabelWidth(Label, scale_)) / 2, top + height_ + gap_, Label,
              scale_);
}

const TBitmap& TContactSheet::Bitmap() const {
    assert(sheet_);
    return *sheet_;
}
