#include "jpeg_image.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace vantrel {

namespace {

// libjpeg reports fatal errors through error_exit, which by default ends the
// process; ours jumps back into decodeJpeg instead.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void errorExit(j_common_ptr info) {
    auto* mgr = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, mgr->message);
    std::longjmp(mgr->jump, 1);
}

void silentOutput(j_common_ptr) {}

// The part between setjmp and the end: no C++ object with a destructor lives
// only here, so the jump back skips nothing that needs cleaning up.
bool decode(jpeg_decompress_struct& cinfo, ErrorManager& err, const std::uint8_t* data, std::size_t size,
            RgbImage& out) {
    if (setjmp(err.jump)) return false;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3 || cinfo.output_width == 0 || cinfo.output_height == 0) return false;
    // A picture, not a memory bomb: 16 M pixels at most.
    if (std::size_t{cinfo.output_width} * cinfo.output_height > (std::size_t{1} << 24)) return false;
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.rgb.resize(std::size_t{cinfo.output_width} * cinfo.output_height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.rgb.data() + std::size_t{cinfo.output_scanline} * cinfo.output_width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

} // namespace

bool decodeJpeg(const std::uint8_t* data, std::size_t size, RgbImage& out, std::string* error) {
    out = RgbImage{};
    if (!data || size == 0) {
        if (error) *error = "Empty JPEG data";
        return false;
    }
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.output_message = silentOutput;
    jpeg_create_decompress(&cinfo);
    bool ok = decode(cinfo, err, data, size, out);
    jpeg_destroy_decompress(&cinfo);
    if (!ok) {
        if (error) *error = err.message[0] ? err.message : "Unsupported JPEG";
        out = RgbImage{};
    }
    return ok;
}

} // namespace vantrel
