// ldr_options.cpp - the line-data reader's options from an open document.
#include "arc_ldr.h"
#include "qel_client.h"
#include "qel_parm.h"

ArcLdrOptions ArcLDR_OptionsFrom(const OpenDocument& document) {
    ArcLdrOptions o;
    o.recordFormat = document.recordFormat;
    o.recordLength = document.recordLength;
    o.carriageControl = document.carriageControl;
    o.trc = document.trc != 0;
    o.dataCodePage = document.dataCodePage;
    o.linesPerPage = document.linesPerPage;
    o.shiftKind = document.shiftKind;
    o.overstrike = document.view.overstrike;
    o.pageHeaderRows = document.pageHeaderRows;
    o.fieldHeaderRows = document.fieldHeaderRows;
    o.valueRow = document.valueRow;
    o.valueColumn = document.valueColumn;
    o.lockedFields = document.view.lockedFields;
    for (const DocLayoutField& field : document.layoutFields)
        o.fieldColumns.push_back({field.numbers[0], field.numbers[1]});
    if (document.parmEntry != nullptr)
        o.parmText = document.parmEntry->text;
    else if (document.application != nullptr && document.application->parameters.text != nullptr)
        o.parmText = document.application->parameters.text;
    // The delimiter as written: the document's copy is cut to 16 characters, and a longer
    // one must fall back rather than be read cut.
    const char* body = ParmFindSection(o.parmText.c_str(), ParmFixedSection().c_str());
    if (!o.parmText.empty())
        o.recordDelimiter = ParmGetString(body, "RECDELIM");
    else
        o.recordDelimiter = document.recordDelimiter;
    return o;
}
