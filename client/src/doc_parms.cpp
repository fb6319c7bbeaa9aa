// The conversion parameters of an open document, read from its application's parameter
// text, and the session's shared entries of those texts.
#include <cstdlib>
#include <cstring>

#include "doc_internal.h"
#include "qel_parm.h"

namespace qelclient {

namespace {

constexpr size_t kPrintOptionsMax = 100;

char OrientationLetter(int orient) {
    switch (orient) {
        case 1: return '9';
        case 2: return '1';
        case 3: return '2';
        default: return '0';
    }
}

// The number after the option ("-c", "-l") in the converter command, read as atoi does;
// 0 when the option is absent.
int32_t CommandNumber(const std::string& command, const char* option) {
    const size_t at = command.find(option);
    if (at == std::string::npos) return 0;
    return static_cast<int32_t>(std::atoi(command.c_str() + at + std::strlen(option)));
}

// The folder field that a layout field names: "1" the first displayed field mapped in
// the document's group, any other name the field whose group field has that name.
int MatchFolderField(const OpenDocument& document, const std::string& name) {
    const OpenFolder* folder = document.folder;
    const CsXdrApplGroup* group = document.group;
    if (folder == nullptr || group == nullptr || folder->displayOrder.empty()) return -1;
    for (int field : folder->displayOrder) {
        int number = -1;
        const CsXdrFieldDef* def = nullptr;
        if (!Doc_FindMappedField(folder, group->number, field, &number, &def)) continue;
        if (name == "1" || name == def->name) return field;
    }
    return -1;
}

void ReadLayoutFields(OpenDocument* document, const char* text) {
    ParmFieldDef fields[PARM_MAX_FIELDS];
    const int count = ParmGetFields(text, fields);
    document->layoutFields.clear();
    for (int i = 0; i < count; ++i) {
        DocLayoutField field;
        field.numbers[0] = fields[i].first;
        field.numbers[1] = fields[i].second;
        field.name = fields[i].name;
        if (!field.name.empty()) {
            field.folderField = MatchFolderField(*document, field.name);
            field.matched = field.folderField >= 0;
        }
        if (field.matched) document->layoutMatch = 1;
        document->layoutFields.push_back(std::move(field));
    }
    if (document->folder != nullptr)
        for (const FolderCriterion& criterion : document->folder->criteria)
            if (criterion.kind == 'T') document->layoutMatch = 1;
}

}  // namespace

void ReadConversionParms(OpenDocument* document) {
    const char* text = document->application != nullptr ? document->application->parameters.text : nullptr;
    document->pageWidth = static_cast<float>(ParmGetPWidth(text));
    document->pageLength = static_cast<float>(ParmGetPLength(text));
    switch (ParmGetPages(text)) {
        case PARM_PAGES_CUR: document->pageRange = 'C'; break;
        case PARM_PAGES_SEL: document->pageRange = 'S'; break;
        default: document->pageRange = 'A'; break;
    }
    document->orientation = OrientationLetter(ParmGetOrient(text));
    switch (ParmGetPr(text)) {
        case PARM_PR_SOSI1: document->shiftKind = '1'; break;
        case PARM_PR_SOSI2: document->shiftKind = '2'; break;
        default: document->shiftKind = 'N'; break;
    }
    document->printOptions = ParmGetPrtOpt(text).value_or("");
    if (document->printOptions.size() > kPrintOptionsMax) document->printOptions.resize(kPrintOptionsMax);
    switch (ParmGetCc(text)) {
        case PARM_CC_ANSI: document->carriageControl = 'A'; break;
        case PARM_CC_MACH: document->carriageControl = 'M'; break;
        default: document->carriageControl = 'N'; break;
    }
    document->trc = static_cast<uint8_t>(ParmGetTrc(text));
    switch (ParmGetRecfm(text)) {
        case PARM_RECFM_F: document->recordFormat = 'F'; break;
        case PARM_RECFM_V: document->recordFormat = 'V'; break;
        default: document->recordFormat = 'S'; break;
    }
    document->recordLength = ParmGetLrecl(text);
    document->recordDelimiter = ParmGetRecDelim(text);
    document->dataCodePage = ParmGetCdpg(text);
    document->linesPerPage = ParmGetLnct(text);
    const std::string command = ParmGetAfp2LineCmd(text).value_or("");
    document->converterColumns = CommandNumber(command, "-c");
    document->converterLines = CommandNumber(command, "-l");
    document->pageHeaderRows = ParmGetPageHdrRows(text);
    document->fieldHeaderRows = ParmGetFldHdrRows(text);
    document->valueRow = ParmGetValRow(text);
    document->valueColumn = ParmGetValCol(text);
    document->valueText = ParmGetValValue(text).value_or("");
    ReadLayoutFields(document, text);
}

DocApplParmEntry* FindOrMakeParmEntry(ClientSession* session, const CsXdrApplGroup* group,
                                      const CsXdrApplEntry* application) {
    const uint32_t groupId = group != nullptr ? group->number : 0;
    const uint32_t applicationId = application != nullptr ? application->number : 0;
    for (const auto& entry : session->parmEntries)
        if (entry->groupId == groupId && entry->applicationId == applicationId) return entry.get();
    auto entry = std::make_unique<DocApplParmEntry>();
    entry->application = application;
    entry->groupId = groupId;
    entry->applicationId = applicationId;
    const char* text = application != nullptr ? application->parameters.text : nullptr;
    if (text == nullptr || *text == '\0') {
        entry->madeEmpty = true;
    } else {
        entry->text = text;
    }
    session->parmEntries.push_back(std::move(entry));
    return session->parmEntries.back().get();
}

}  // namespace qelclient
