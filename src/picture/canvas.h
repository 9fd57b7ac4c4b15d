#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessivox {

// A picture of its own: width x height pixels, each 0xffRRGGBB, row after
// row from the top. That is the memory of an RGB32 image in Qt and of an
// RGB24 surface in cairo, so either shows these pixels as they are.
class Canvas {
  public:
    Canvas(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    uint32_t* pixels() { return pixels_.data(); }
    const uint32_t* pixels() const { return pixels_.data(); }
    uint32_t pixel(int x, int y) const { return pixels_[std::size_t(y) * width_ + x]; }

    void fillRect(int x, int y, int width, int height, uint32_t colour);
    // One-pixel line, clipped to the canvas; end points may lie anywhere in
    // the int32 range (the clipping is done in wide arithmetic).
    void line(int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t colour);
    void disc(int centreX, int centreY, int radius, uint32_t colour);

  private:
    uint32_t* row(int64_t y) { return pixels_.data() + y * width_; }

    int width_;
    int height_;
    std::vector<uint32_t> pixels_;
};

}  // namespace tessivox
