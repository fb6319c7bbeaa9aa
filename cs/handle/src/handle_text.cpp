// Fixed text fields of the handle and its records.
#include "qel_cshandle.h"

#include <cstring>

int CsSetText(char* field, size_t size, const char* text) {
    if (field == nullptr || size == 0) return CS_FAILED;
    if (text == nullptr) text = "";
    size_t length = strnlen(text, size);
    if (length >= size) {
        field[0] = '\0';
        return CS_FAILED;
    }
    std::memcpy(field, text, length + 1);
    return CS_OK;
}
