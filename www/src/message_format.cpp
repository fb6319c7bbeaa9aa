// Catalogue messages with typed inserts, and their error replies.
#include "qel_www.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "arc_messages.h"

namespace {

template <class T>
T Read(const void* value) {
    T out{};
    if (value != nullptr) std::memcpy(&out, value, sizeof out);
    return out;
}

std::string Printf(const char* format, ...) QELWWW_PRINTF(1, 2);
std::string Printf(const char* format, ...) {
    char area[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(area, sizeof area, format, args);
    va_end(args);
    return area;
}

std::string CatalogueText(int index) {
    ArcMsgRow row;
    if (ArcMSGS_GetText(index, &row) != 0 || row.text == nullptr) return {};
    return row.text;
}

std::string FormatInsert(const QelWWWInsert& insert) {
    const void* v = insert.value;
    switch (insert.type) {
        case QELWWW_INSERT_TEXT: return v != nullptr ? static_cast<const char*>(v) : "";
        case QELWWW_INSERT_CHAR: return v != nullptr ? std::string(1, Read<char>(v)) : "";
        case QELWWW_INSERT_INT: return Printf("%d", Read<int>(v));
        case QELWWW_INSERT_UINT: return Printf("%u", Read<unsigned>(v));
        case QELWWW_INSERT_SHORT: return Printf("%hd", Read<short>(v));
        case QELWWW_INSERT_USHORT: return Printf("%hu", Read<unsigned short>(v));
        case QELWWW_INSERT_LONG: return Printf("%ld", Read<long>(v));
        case QELWWW_INSERT_ULONG: return Printf("%lu", Read<unsigned long>(v));
        case QELWWW_INSERT_DOUBLE: return Printf("%.*f", insert.precision, Read<double>(v));
        case QELWWW_INSERT_NUMBER: return Printf("%" PRId64, insert.number);
        case QELWWW_INSERT_MESSAGE:
            return insert.number >= 0 && insert.number <= INT32_MAX
                       ? CatalogueText(static_cast<int>(insert.number))
                       : std::string();
        case QELWWW_INSERT_INT64: return Printf("%" PRId64, Read<int64_t>(v));
        default: return {};
    }
}

}  // namespace

int QelWWW_FormatMessage(int index, int count, const QelWWWInsert* inserts, std::string* text, int* number) {
    ArcMsgRow row;
    if (ArcMSGS_GetText(index, &row) != 0) {
        if (text != nullptr) text->clear();
        if (number != nullptr) *number = 0;
        return 1;
    }
    const char* pattern = row.text != nullptr ? row.text : "";
    // Only the inserts the text holds are formatted (at most nine).
    const int wanted = std::min({ArcMSGS_CountInserts(pattern), 9, inserts != nullptr ? count : 0});
    std::vector<std::string> formatted;
    std::vector<const char*> args;
    size_t size = std::char_traits<char>::length(pattern) + 1;
    for (int i = 0; i < wanted; ++i) formatted.push_back(FormatInsert(inserts[i]));
    for (const std::string& f : formatted) {
        args.push_back(f.c_str());
        size += f.size();
    }
    std::string out(size, '\0');
    int written = ArcMSGS_Format(out.data(), out.size(), pattern, args.data(), static_cast<int>(args.size()));
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    if (text != nullptr) *text = std::move(out);
    if (number != nullptr) *number = static_cast<int>(row.number);
    return 0;
}

void QelWWW_ReportMessage(const QelWWWConfig* config, QelWWWSession* session, bool showVersion, int index,
                          int count, const QelWWWInsert* inserts) {
    if (index == 0) {
        std::string text = count > 0 && inserts != nullptr ? FormatInsert(inserts[0]) : std::string();
        QelWWW_ErrorPage(config, session, showVersion, 0, "%s", text.c_str());
        return;
    }
    std::string text;
    int number = 0;
    QelWWW_FormatMessage(index, count, inserts, &text, &number);
    QelWWW_ErrorPage(config, session, showVersion, number, "%s", text.c_str());
}

size_t QelWWW_GetMessageText(int index, char* buffer, size_t size, int* number) {
    ArcMsgRow row;
    bool known = ArcMSGS_GetText(index, &row) == 0;
    if (number != nullptr) *number = known ? static_cast<int>(row.number) : 0;
    if (buffer == nullptr || size == 0) return 0;
    std::string_view text = known && row.text != nullptr ? row.text : "";
    size_t length = std::min(text.size(), size - 1);
    // Back off to a character start: a cut name must stay valid text.
    if (length < text.size()) {
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    }
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}
