#include "platform/linux/cairo_frame_image_renderer.h"

#include <cairo.h>
#include <png.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace quillmer {

namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

// A surface over the image's own pixels; Cairo only reads them, as a drawing source or encoder input.
Surface wrap(const RasterImage& image, cairo_format_t format) {
    if (!image.isValid()) return nullptr;
    Surface surface(cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(image.pixels.data())), format, image.width,
        image.height, image.width * 4));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    return surface;
}

Surface blank(int width, int height) {
    if (width < 1 || height < 1) return nullptr;
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));  // cleared to zero
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    return surface;
}

Context contextFor(cairo_surface_t* surface) {
    Context context(cairo_create(surface));
    if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    return context;
}

RasterImage imageOf(cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    RasterImage image;
    image.width = cairo_image_surface_get_width(surface);
    image.height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    for (int y = 0; y < image.height; ++y)
        std::memcpy(&image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width)],
                    data + static_cast<ptrdiff_t>(y) * stride, static_cast<size_t>(image.width) * 4);
    return image;
}

}  // namespace

std::optional<std::vector<uint8_t>> CairoFrameImageRenderer::thumbnail(const RasterImage& image, int width, int height) {
    Surface source = wrap(image, CAIRO_FORMAT_ARGB32);
    Surface target = blank(width, height);
    if (!source || !target) return std::nullopt;
    Context context = contextFor(target.get());
    if (!context) return std::nullopt;
    cairo_scale(context.get(), static_cast<double>(width) / image.width, static_cast<double>(height) / image.height);
    cairo_set_source_surface(context.get(), source.get(), 0, 0);
    // Low quality on purpose: the thresholds that read these thumbnails are tuned for cheap sampling.
    cairo_pattern_set_filter(cairo_get_source(context.get()), CAIRO_FILTER_BILINEAR);
    cairo_paint(context.get());
    if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    cairo_surface_flush(target.get());

    const int stride = cairo_image_surface_get_stride(target.get());
    const unsigned char* data = cairo_image_surface_get_data(target.get());
    std::vector<uint8_t> bytes(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        for (int x = 0; x < width; ++x) {
            const uint32_t pixel = row[x];
            uint8_t* out = &bytes[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4];
            out[0] = static_cast<uint8_t>(pixel >> 16);
            out[1] = static_cast<uint8_t>(pixel >> 8);
            out[2] = static_cast<uint8_t>(pixel);
            out[3] = static_cast<uint8_t>(pixel >> 24);
        }
    }
    return bytes;
}

std::optional<RasterImage> CairoFrameImageRenderer::outlined(const RasterImage& image, const PixelRect& rectangle,
                                                             double lineWidth) {
    Surface source = wrap(image, CAIRO_FORMAT_ARGB32);
    Surface target = blank(image.width, image.height);
    if (!source || !target) return std::nullopt;
    Context context = contextFor(target.get());
    if (!context) return std::nullopt;
    cairo_set_source_surface(context.get(), source.get(), 0, 0);
    cairo_set_operator(context.get(), CAIRO_OPERATOR_SOURCE);
    cairo_paint(context.get());
    cairo_set_operator(context.get(), CAIRO_OPERATOR_OVER);
    cairo_set_source_rgb(context.get(), 0.0, 122.0 / 255.0, 1.0);  // the desktop's usual accent blue
    cairo_set_line_width(context.get(), lineWidth);
    cairo_rectangle(context.get(), rectangle.x, rectangle.y, rectangle.width, rectangle.height);
    cairo_stroke(context.get());
    if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    return imageOf(target.get());
}

std::optional<RasterImage> CairoFrameImageRenderer::cropped(const RasterImage& image, const PixelRect& rectangle) {
    if (!image.isValid()) return std::nullopt;
    const double x = rectangle.x, y = rectangle.y, w = rectangle.width, h = rectangle.height;
    if (x < 0 || y < 0 || w < 1 || h < 1 || x + w > image.width || y + h > image.height || x != std::floor(x) ||
        y != std::floor(y) || w != std::floor(w) || h != std::floor(h))
        return std::nullopt;
    RasterImage crop;
    crop.width = static_cast<int>(w);
    crop.height = static_cast<int>(h);
    crop.pixels.resize(static_cast<size_t>(crop.width) * static_cast<size_t>(crop.height));
    for (int row = 0; row < crop.height; ++row)
        std::memcpy(&crop.at(0, row),
                    image.pixels.data() + (static_cast<size_t>(y) + static_cast<size_t>(row)) * static_cast<size_t>(image.width) +
                        static_cast<size_t>(x),
                    static_cast<size_t>(crop.width) * 4);
    return crop;
}

std::string CairoFrameImageRenderer::encodePNG(const RasterImage& image) {
    // libpng directly rather than Cairo's writer: Cairo offers no say over compression, and at its
    // default a 1080p frame takes several times longer to encode than to decode. The fastest zlib
    // level with the "sub" filter suits screen content; frames are opaque, so no alpha is written.
    std::string bytes;
    if (!image.isValid()) return bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return bytes;
    }
    std::vector<png_byte> row(static_cast<size_t>(image.width) * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &bytes,
        [](png_structp p, png_bytep data, png_size_t length) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), length);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        const uint32_t* source = image.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(image.width);
        for (int x = 0; x < image.width; ++x) {
            row[static_cast<size_t>(x) * 3] = static_cast<png_byte>(source[x] >> 16);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<png_byte>(source[x] >> 8);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<png_byte>(source[x]);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

}  // namespace quillmer
