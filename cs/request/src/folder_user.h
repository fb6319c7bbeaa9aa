// folder_user.h - what the local tables add to a folder definition for the logged-on
// user: the user's settings of each folder field, date kinds, fixed values of group
// fields, application data types, the hit limit; and the in-memory defaults of a
// definition that came from a remote server (internal). Mappings: docs/folders.md.
#pragma once

#include <cstdint>

#include "qel_cs.h"
#include "qel_cswire.h"
#include "qel_local.h"

namespace csfolder {

// The date kind of an integer field ('B', 'I', 'N') by its QUAL number: 1 'D', 2 'T',
// 3 'C', 4 'Z'; 0 for any other field or number.
char DateKind(char type, int32_t qual);

// The user record a field gets without a user row: the type's whole range, no
// decimals, the client's date formats, no wildcard, unit 'D', ascending.
void DefaultUser(char type, CsFolderFieldUser* user);

// Fills the field's order numbers, flags, operators, defaults and user record from the
// user's row of the folder field (a missing row leaves the defaults: the field is not
// offered). CS_OK; CS_FAILED for a value that its field type cannot hold; the local
// server's failure.
int FillFieldUser(CsHandle* handle, int32_t folder, int32_t field, CsXdrFolderField* to);

// The date kind, the strip, leading and trailing sets and the fixed values (stored
// text, display text) of a group field. CS_OK; CS_FAILED for a set that does not fit;
// CS_NO_MEMORY; the local server's failure.
int FillGroupField(CsHandle* handle, int32_t group, const QelLocalAgField& from, CsXdrFieldDef* to);

// The data-type letter of an application by its DOC_TYPE number ('N' when unknown).
char ApplicationDataType(int32_t docType);

// The user's hit limit on the folder (-1 none). CS_OK or the local server's failure.
int FolderHitLimit(CsHandle* handle, int32_t folder, int32_t* limit);

// The in-memory parts of a definition decoded from a remote reply: no hit limit, each
// field's default user record.
void SetRemoteDefaults(CsXdrFolder* folder);

}  // namespace csfolder
