#include "media_files.h"

#include <stdio.h>
#include <stdlib.h>

#include <jpeglib.h>

static std::vector<uint8_t> picture(int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> px((size_t)w * h * 3);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            bool bar = y > h * 2 / 5 && y < h * 3 / 5;
            uint8_t *p = &px[((size_t)y * w + x) * 3];
            p[0] = bar ? 255 : r, p[1] = bar ? 255 : g, p[2] = bar ? 255 : b;
        }
    return px;
}

static void put_le(std::vector<uint8_t> *out, uint32_t v, int n)
{
    for (int i = 0; i < n; i++) out->push_back((uint8_t)(v >> (8 * i)));
}

std::vector<uint8_t> sim_media_bmp(int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> px = picture(w, h, r, g, b), out;
    int stride = (w * 3 + 3) & ~3;
    out.push_back('B'), out.push_back('M');
    put_le(&out, (uint32_t)(54 + stride * h), 4);
    put_le(&out, 0, 4);
    put_le(&out, 54, 4); /* pixels after the two headers */
    put_le(&out, 40, 4); /* BITMAPINFOHEADER */
    put_le(&out, (uint32_t)w, 4);
    put_le(&out, (uint32_t)h, 4); /* bottom-up */
    put_le(&out, 1, 2);
    put_le(&out, 24, 2);
    for (int i = 0; i < 6; i++) put_le(&out, 0, 4);
    for (int y = h - 1; y >= 0; y--) {
        for (int x = 0; x < w; x++) {
            const uint8_t *p = &px[((size_t)y * w + x) * 3];
            out.push_back(p[2]), out.push_back(p[1]), out.push_back(p[0]);
        }
        for (int pad = w * 3; pad < stride; pad++) out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> sim_media_jpeg(int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> px = picture(w, h, r, g, b);
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char *mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = (JDIMENSION)w;
    c.image_height = (JDIMENSION)h;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < h; y++) {
        JSAMPROW row = &px[(size_t)y * w * 3];
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> out(mem, mem + size);
    jpeg_destroy_compress(&c);
    free(mem);
    return out;
}
