#pragma once

// Bodies for the site's resources, made in memory so that tests need no files on disk.

#include <cstddef>
#include <string>
#include <string_view>

namespace e2e {

// A 1x1 GIF, padded with zero bytes after its end (decoders ignore them) to `size` bytes.
std::string Gif(size_t size = 43);

// Appends a comment of blanks (`open` ... `close`) so that the text is exactly `size` bytes
// long, which gives the resource a size text a test can state (4096 bytes are "4KB"). A text
// that does not fit fails the test and comes back as it is.
std::string PadTo(std::string text, size_t size, std::string_view open, std::string_view close);
// The same with an HTML comment.
std::string PadHtml(std::string text, size_t size);

}  // namespace e2e
