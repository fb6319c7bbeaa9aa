// The view of an open document: its name from DEFVIEW, checked against VIEWS, and its
// attributes from the view's section of the parameter text.
#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qel_client.h"
#include "qel_parm.h"

namespace {

constexpr size_t kViewNameMax = 30;

struct LetterOf {
    int value;
    char letter;
};

template <size_t N>
char Letter(int value, const LetterOf (&table)[N], char other) {
    for (const LetterOf& row : table)
        if (row.value == value) return row.letter;
    return other;
}

constexpr LetterOf kBackground[] = {{2, 'B'}, {3, 'R'}, {4, 'L'}, {5, 'G'}, {6, 'Y'}, {9, '0'}, {11, 'X'}};
constexpr LetterOf kHeader[] = {{2, 'B'}, {3, 'R'}, {4, 'L'}, {5, 'G'}, {6, 'Y'}, {9, '0'}};
constexpr LetterOf kSelection[] = {{1, 'W'}, {2, 'B'}, {3, 'R'}, {4, 'L'}, {5, 'G'}, {9, '0'}};
constexpr LetterOf kImage[] = {{0, 'N'}, {1, 'W'}, {2, 'B'}, {3, 'R'}, {4, 'L'},
                               {5, 'G'}, {6, 'Y'}, {7, 'M'}, {8, 'C'}, {9, '0'}};
constexpr LetterOf kIntensity[] = {{1, 'L'}, {2, 'N'}};
constexpr LetterOf kFidelity[] = {{1, 'W'}, {2, 'C'}, {3, 'D'}, {4, '2'}};
constexpr LetterOf kGreyScale[] = {{0, 'S'}};
constexpr LetterOf kOverstrike[] = {{1, 'M'}, {2, 'F'}};

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// A key of the first @_FIXED_@ section, whole; none when missing.
std::optional<std::string> FixedValue(const char* text, const char* key) {
    const std::string section = ParmFixedSection();
    return ParmGetString(ParmFindSection(text, section.c_str()), key);
}

// The names VIEWS lists: the first PARM_MAX_VIEWS non-empty names; one over
// kViewNameMax characters is kept out, so that it matches nothing.
std::vector<std::string> ListedViews(const char* text) {
    std::vector<std::string> names;
    const std::optional<std::string> value = FixedValue(text, "VIEWS");
    if (!value) return names;
    std::string_view rest = *value;
    int parts = 0;
    while (!rest.empty() && parts < PARM_MAX_VIEWS) {
        const size_t comma = rest.find(',');
        const std::string_view part = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (part.empty()) continue;
        ++parts;
        if (part.size() > kViewNameMax) continue;
        std::string plain;
        ParmEscapeViewName(std::string(part).c_str(), 0, &plain);
        names.push_back(std::move(plain));
    }
    return names;
}

// The listed spelling of the name, or none.
std::optional<std::string> FindView(const char* text, std::string_view name) {
    if (name.empty() || name.size() > kViewNameMax) return std::nullopt;
    for (std::string& listed : ListedViews(text))
        if (SameNoCase(listed, name)) return std::move(listed);
    return std::nullopt;
}

// The field order of FLDDISPORD over layoutCount fields: missing or a first number
// below 0, no order (-1); an empty list, or one whose numbers all fall outside
// 1..layoutCount, every field in turn. Numbers outside that range, and repeats, are
// dropped.
void ReadFieldOrder(const char* text, const char* view, int layoutCount, DocView* out) {
    int order[PARM_MAX_FIELDS + 1] = {};
    const int count = ParmGetFldDispOrd(text, view, order);
    out->fieldOrder.clear();
    if (count < 0 || (count > 0 && order[0] < 0)) {
        out->orderCount = -1;
        return;
    }
    for (int i = 0; i < count; ++i) {
        const int field = order[i];
        if (field < 1 || field > layoutCount) continue;
        if (std::find(out->fieldOrder.begin(), out->fieldOrder.end(), field) != out->fieldOrder.end())
            continue;
        out->fieldOrder.push_back(field);
    }
    if (out->fieldOrder.empty())
        for (int field = 1; field <= layoutCount; ++field) out->fieldOrder.push_back(field);
    out->orderCount = static_cast<int32_t>(out->fieldOrder.size());
}

void ReadAttributes(const OpenDocument& document, const char* text, const std::string& view, DocView* out) {
    const char* v = view.c_str();
    out->name = view;
    out->background = Letter(ParmGetBkCol(text, v), kBackground, 'W');
    out->header = Letter(ParmGetHdCol(text, v), kHeader, 'D');
    out->selection = Letter(ParmGetSaCol(text, v), kSelection, 'Y');
    out->imageColour = Letter(ParmGetImgColor(text, v), kImage, 'D');
    out->imageIntensity = Letter(ParmGetImgInt(text, v), kIntensity, 'M');
    out->textFidelity = Letter(ParmGetTxFid(text, v), kFidelity, 'L');
    out->greyScale = Letter(ParmGetGrayScale(text, v), kGreyScale, 'C');
    out->overstrike = Letter(ParmGetOverstrike(text, v), kOverstrike, 'S');
    out->zoom = ParmGetZoom(text, v);
    out->contrast = ParmGetContrast(text, v);
    out->brightness = ParmGetBright(text, v);
    out->copyGroup = ParmGetCpyGrp(text, v);
    out->lockHeader = static_cast<uint8_t>(ParmGetLockHdr(text, v));
    const int layoutCount = static_cast<int>(std::min<size_t>(document.layoutFields.size(), PARM_MAX_FIELDS));
    if (layoutCount == 0) {
        out->lockedFields = 0;
        out->orderCount = 0;
        out->fieldOrder.clear();
        return;
    }
    out->lockedFields = std::clamp(ParmGetLockedFlds(text, v), 0, layoutCount);
    ReadFieldOrder(text, v, layoutCount, out);
}

const char* DocumentText(const OpenDocument& document) {
    if (document.parmEntry != nullptr && !document.parmEntry->text.empty())
        return document.parmEntry->text.c_str();
    return nullptr;
}

const char* ApplicationText(const OpenDocument& document) {
    return document.application != nullptr ? document.application->parameters.text : nullptr;
}

// Applies the view named in text; false (and defaults) when VIEWS does not list it.
bool ApplyFrom(const OpenDocument& document, const char* text, std::string_view name, bool fromApplication,
               DocView* out) {
    *out = DocView{};
    const std::optional<std::string> listed = text != nullptr ? FindView(text, name) : std::nullopt;
    if (!listed) return false;
    ReadAttributes(document, text, *listed, out);
    out->fromApplication = fromApplication;
    return true;
}

// DEFVIEW of the text; "" when missing or empty, and none when it is too long to be
// any listed name.
std::optional<std::string> DefaultViewName(const char* text) {
    if (text == nullptr) return std::string();
    const std::optional<std::string> raw = FixedValue(text, "DEFVIEW");
    if (!raw) return std::string();
    if (raw->size() > kViewNameMax) return std::nullopt;
    return ParmGetDefView(text).value_or(std::string());
}

}  // namespace

void Doc_DefaultView(OpenDocument* document, DocView* view) {
    DocView* out = view != nullptr ? view : document != nullptr ? &document->view : nullptr;
    if (out != nullptr) *out = DocView{};
}

bool Doc_ApplyView(OpenDocument* document, const char* name, DocView* view) {
    DocView* out = view != nullptr ? view : document != nullptr ? &document->view : nullptr;
    if (out == nullptr) return false;
    if (document == nullptr || name == nullptr) {
        *out = DocView{};
        return false;
    }
    const char* text = DocumentText(*document);
    const bool fromApplication = text == nullptr;
    if (fromApplication) text = ApplicationText(*document);
    return ApplyFrom(*document, text, name, fromApplication, out);
}

void Doc_ChooseView(OpenDocument* document, DocView* view, int ignoreDocumentText) {
    DocView* out = view != nullptr ? view : document != nullptr ? &document->view : nullptr;
    if (out == nullptr) return;
    if (document == nullptr) {
        *out = DocView{};
        return;
    }
    const char* text = ignoreDocumentText ? nullptr : DocumentText(*document);
    std::optional<std::string> name = DefaultViewName(text);
    bool fromApplication = false;
    if (name && name->empty()) {
        text = ApplicationText(*document);
        name = DefaultViewName(text);
        fromApplication = true;
    }
    if (!name || name->empty()) {
        *out = DocView{};
        return;
    }
    ApplyFrom(*document, text, *name, fromApplication, out);
}
