#include "image/file_position.h"

#include <sys/types.h>

#ifdef _WIN32

bool seek_file(FILE* file, std::int64_t offset, int origin)
{
    return _fseeki64(file, offset, origin) == 0;
}

std::int64_t tell_file(FILE* file)
{
    return _ftelli64(file);
}

#else

static_assert(sizeof(off_t) >= 8, "build with 64-bit file offsets");

bool seek_file(FILE* file, std::int64_t offset, int origin)
{
    return fseeko(file, offset, origin) == 0;
}

std::int64_t tell_file(FILE* file)
{
    return ftello(file);
}

#endif
