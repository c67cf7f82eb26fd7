#include "image/file_position.h"

#include <windows.h>

bool seek_file(FILE* file, std::int64_t offset, int origin)
{
    return _fseeki64(file, offset, origin) == 0;
}

std::int64_t tell_file(FILE* file)
{
    return _ftelli64(file);
}
