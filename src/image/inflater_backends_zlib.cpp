// The backends of a build without ISA-L: zlib alone.

#include "image/inflater.h"

std::vector<inflater::backend> inflater::compiled()
{
    return {backend::zlib};
}

std::unique_ptr<inflater> inflater::make(backend which)
{
    return which == backend::zlib ? make_zlib_inflater() : nullptr;
}
