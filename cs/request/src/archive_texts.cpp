// Texts between the local archive's code page and the session's.
#include "archive_texts.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "arc_codepage.h"
#include "arc_platform.h"
#include "dispatcher_detail.h"
#include "qel_local.h"

namespace cstexts {
namespace {

// An archive that names no code page is in 819, as every archive was before it did.
constexpr int32_t kArchiveDefault = 819;

}  // namespace

ArchiveTexts::ArchiveTexts(CsHandle* handle)
    : handle_(handle),
      archive_(QelLocal_CodePage() > 0 ? QelLocal_CodePage() : kArchiveDefault),
      session_(handle->localCcsid != 0 ? handle->localCcsid : ArcOS_GetCodePage()) {}

ArchiveTexts::~ArchiveTexts() {
    ArcICONV_Close(toSession_);
    ArcICONV_Close(toArchive_);
}

bool ArchiveTexts::ToSession(std::string* text) { return Convert(true, text); }

// A character the archive's code page lacks would become its substitute, and a criterion
// or a stored value would silently mean another text: refused instead.
bool ArchiveTexts::ToArchive(std::string* text) {
    std::string converted = *text;
    if (!Convert(false, &converted)) return false;
    std::string back = converted;
    if (!Convert(true, &back) || back != *text) return false;
    *text = std::move(converted);
    return true;
}
bool ArchiveTexts::ToSession(char* field, size_t size) { return ConvertField(true, field, size); }
bool ArchiveTexts::ToArchive(char* field, size_t size) { return ConvertField(false, field, size); }

bool ArchiveTexts::ToSession(char** text) { return ConvertAlloc(true, text); }
bool ArchiveTexts::ToArchive(char** text) { return ConvertAlloc(false, text); }

bool ArchiveTexts::DescriptionToSession(char* field, size_t size) {
    if (Same() || size == 0) return true;
    std::string text(field, strnlen(field, size));
    if (!ToSession(&text)) return false;
    if (text.size() >= size) {
        if (!ArcICONV_IsUtf8Ccsid(session_)) return false;
        size_t cut = size - 1;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text.resize(cut);
    }
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

bool ArchiveTexts::ConvertAlloc(bool toSession, char** text) {
    if (Same() || *text == nullptr) return true;
    std::string converted = *text;
    if (!(toSession ? ToSession(&converted) : ToArchive(&converted))) return false;
    char* copy = static_cast<char*>(std::malloc(converted.size() + 1));
    if (copy == nullptr) return false;
    std::memcpy(copy, converted.c_str(), converted.size() + 1);
    std::free(*text);
    *text = copy;
    return true;
}

bool ArchiveTexts::Convert(bool toSession, std::string* text) {
    if (Same() || text->empty()) return true;
    ArcIconvHandle** converter = toSession ? &toSession_ : &toArchive_;
    if (*converter == nullptr) {
        ArcIconvContext* context = handle_->iconv ? handle_->iconv : csreq::detail::DefaultCodePages();
        if (context == nullptr) return false;
        const int32_t from = toSession ? archive_ : session_;
        const int32_t to = toSession ? session_ : archive_;
        if (ArcICONV_Open(context, from, to, converter) != ARC_ICONV_OK) return false;
    }
    char* out = nullptr;
    size_t length = 0;
    if (ArcICONV_ConvertAlloc(*converter, text->data(), text->size(), &out, &length) != ARC_ICONV_OK)
        return false;
    const bool clean = std::memchr(out, 0, length) == nullptr;
    if (clean) text->assign(out, length);
    std::free(out);
    return clean;
}

bool ArchiveTexts::ConvertField(bool toSession, char* field, size_t size) {
    if (Same() || size == 0) return true;
    std::string text(field, strnlen(field, size));
    if (!(toSession ? ToSession(&text) : ToArchive(&text)) || text.size() >= size) return false;
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

}  // namespace cstexts
