#pragma once
#include <cstdint>
#include <memory>
#include <string_view>

struct TBitmap;
class TCanvas;

// The contact sheet of frames and the small font of its labels.

// Height in pixels of a label drawn at Scale by DrawLabel.
std::int32_t LabelHeight(std::int32_t Scale);

// Draws Text, made of the characters 0-9, '-' and '%' (others leave a gap),
// with its top left corner at (Left, Top), in the canvas's brush colour, each
// font pixel a Scale x Scale square. Returns the width drawn.
std::int32_t DrawLabel(TCanvas& Canvas, std::int32_t Left, std::int32_t Top, std::string_view Text,
                       std::int32_t Scale);

// Width in pixels of Text drawn at Scale by DrawLabel.
std::int32_t LabelWidth(std::string_view Text, std::int32_t Scale);

// A contact sheet: Count pictures of Width x Height in rows and columns
// (about as many columns as rows) on a dark ground, each with a label
// centred beneath it.
class TContactSheet {
public:
    // Largest sheet accepted, in pixels (a quarter of a gigabyte of memory).
    static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 26;

    TContactSheet(std::int64_t Count, std::int32_t Width, std::int32_t Height);

    std::int64_t SheetWidth() const { return sheet_width_; }
    std::int64_t SheetHeight() const { return sheet_height_; }
    // Whether the sheet stays within kMaxPixels and the canvas's coordinates.
    bool Fits() const;

    // Copies Picture (Width x Height) into cell Index (0-based, row by row)
    // and writes Label beneath it. Allocates the sheet on first use; Fits()
    // must hold.
    void Place(std::int64_t Index, const TBitmap& Picture, std::string_view Label);
    const TBitmap& Bitmap() const;

private:
    std::int32_t width_, height_;
    std::int32_t scale_, gap_, label_height_;
    std::int64_t columns_;
    std::int64_t sheet_width_, sheet_height_;
    std::unique_ptr<TBitmap> sheet_;
};
