#include "e2e/Content.h"

#include <gtest/gtest.h>

namespace e2e {

std::string Gif(size_t size) {
    static const unsigned char kGif[] = {
        0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0xff, 0xff,
        0xff, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00,
        0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};
    std::string gif(reinterpret_cast<const char*>(kGif), sizeof kGif);
    if (gif.size() < size) gif.append(size - gif.size(), '\0');
    return gif;
}

std::string PadTo(std::string text, size_t size, std::string_view open, std::string_view close) {
    const size_t frame = open.size() + close.size();
    if (text.size() + frame > size) {
        ADD_FAILURE() << "the text is longer than " << size << " bytes";
        return text;
    }
    return text + std::string(open) + std::string(size - text.size() - frame, ' ') +
           std::string(close);
}

std::string PadHtml(std::string text, size_t size) {
    return PadTo(std::move(text), size, "<!--", "-->");
}

}  // namespace e2e
