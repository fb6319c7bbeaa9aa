// The records that own request-layer memory: hits, parked rows, folder definitions,
// open documents and printers.
#include "qel_client.h"

SearchHit::~SearchHit() { CsFreePackedHit(row, -1); }

ClientParkedRow::ClientParkedRow(ClientParkedRow&& other) noexcept
    : groupNameField(other.groupNameField), groupIndex(other.groupIndex), row(other.row) {
    other.row = nullptr;
}

ClientParkedRow& ClientParkedRow::operator=(ClientParkedRow&& other) noexcept {
    if (this != &other) {
        CsFreePackedHit(row, -1);
        groupNameField = other.groupNameField;
        groupIndex = other.groupIndex;
        row = other.row;
        other.row = nullptr;
    }
    return *this;
}

ClientParkedRow::~ClientParkedRow() { CsFreePackedHit(row, -1); }

void CsFolderDeleter::operator()(CsXdrFolder* folder) const { CsFreeFolderList(folder); }

OpenDocument::~OpenDocument() { CsFreePackedHit(row, -1); }

ClientPrinter::~ClientPrinter() { CsFreePrinters(reply); }
