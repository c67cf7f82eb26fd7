#include "retrieval/release_tag.h"

namespace release_tag {

bool is_safe(const std::string& tag)
{
    if (tag.empty() || tag.size() > max_length || tag.find("..") != std::string::npos)
        return false;
    for (char character : tag) {
        const unsigned char code = static_cast<unsigned char>(character);
        if (code < 0x20 || code > 0x7e || character == '/' || character == '\\')
            return false;
    }
    return true;
}

} // namespace release_tag
