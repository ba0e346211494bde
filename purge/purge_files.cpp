#include "purge/purge_files.h"

namespace {

const char16_t* const PURGE_FILE_NAMES[PURGE_FILE_COUNT] = {u"ZELKSrv.exe", u"ZELKSrv.evt", u"ZELKSrv.log"};

size_t Length(const char16_t* text) {
    size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

} // namespace

bool PurgeFilePath(const char16_t* windowsDir, size_t index, char16_t* path) {
    if (index >= PURGE_FILE_COUNT) {
        return false;
    }
    const char16_t* name = PURGE_FILE_NAMES[index];
    const size_t dirLength = Length(windowsDir);
    const size_t nameLength = Length(name);
    if (dirLength + 1 + nameLength + 1 > PURGE_PATH_UNITS) {
        return false;
    }
    for (size_t i = 0; i < dirLength; ++i) {
        path[i] = windowsDir[i];
    }
    path[dirLength] = u'\\';
    for (size_t i = 0; i <= nameLength; ++i) {
        path[dirLength + 1 + i] = name[i];
    }
    return true;
}
