// One resource reported to the page's result list.
#pragma once

#include <string>

// All members are UTF-8.
struct ResultRecord {
    std::string fileName;  // "unknown" when the address yields no name; may be empty
    std::string url;
    std::string mimeType;
    std::string size;  // "unknown" when the engine gives no expected length
};
