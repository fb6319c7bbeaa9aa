/* A user-exit library for the tests: every entry answers what the test asks for and
 * reports what it was given. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qel_exits.h"

/* arg1 is "r<answer>"; the message area gets "function:<f> arg2:<arg2>". */
int SECURITY(int32_t function, const char* arg1, const char* arg2, const char* arg3, const char* arg4,
             const char* arg5, char* message, size_t messageSize) {
    (void)arg3;
    (void)arg4;
    (void)arg5;
    snprintf(message, messageSize, "function:%d arg2:%s", (int)function, arg2 ? arg2 : "(null)");
    return arg1 && arg1[0] == 'r' ? atoi(arg1 + 1) : -1;
}

/* Lookups: holds the object "HELD" only, whose bytes are "held:<storage id>:<group>". */
static int LookUp(const QelExitFieldRecord* record, int answer) {
    QelExitObjectQuery* query = (QelExitObjectQuery*)record->document;
    if (strcmp(query->name, "HELD") != 0) return answer;
    query->found = 1;
    if (record->function == QEL_STORAGE_EXIT_FETCH) {
        char* data = (char*)malloc(64);
        if (data == NULL) return 9;
        query->length = (uint64_t)snprintf(data, 64, "held:%s:%s", query->storageId, record->groupName);
        query->data = data;
    }
    return answer;
}

/* context: the answer; out1: a 512-byte text that receives a dump of the record;
 * out2: an int32 that receives the second document word. */
int SMEXTCAC(void* context, const QelExitFieldRecord* record, void* out1, void* out2) {
    if (record->function != QEL_STORAGE_EXIT_STORE) return LookUp(record, *(const int*)context);
    char* dump = (char*)out1;
    size_t used = 0;
    used += (size_t)snprintf(dump + used, 512 - used, "group=%s count=%u", record->groupName,
                             (unsigned)record->count);
    for (uint32_t i = 0; i < record->count && used < 512; ++i) {
        const QelExitField* f = &record->fields[i];
        switch (f->type) {
            case 'I': used += (size_t)snprintf(dump + used, 512 - used, " I=%d", (int)f->value.i); break;
            case 'N': used += (size_t)snprintf(dump + used, 512 - used, " N=%d", (int)f->value.n); break;
            case 'S': used += (size_t)snprintf(dump + used, 512 - used, " S=%s", f->value.s); break;
            case 'B':
                used += (size_t)snprintf(dump + used, 512 - used, " B=%lld", (long long)f->value.b);
                break;
            case 'D': used += (size_t)snprintf(dump + used, 512 - used, " D=%.2f", f->value.d); break;
            default: used += (size_t)snprintf(dump + used, 512 - used, " %c", f->type); break;
        }
    }
    *(int32_t*)out2 = (int32_t)record->documentWords[1];
    return *(const int*)context;
}

/* context: the answer; *answer becomes the length of the job file name. */
int DOCSRCH(void* context, const void* group, const void* application, void* textSearch, const char* jobFile,
            int32_t* answer) {
    (void)group;
    (void)application;
    (void)textSearch;
    *answer = (int32_t)strlen(jobFile);
    return *(const int*)context;
}

/* context: the answer; writes "<pages>|<job file>" into the output file. */
int DOCXTRAC(void* context, const void* group, const void* application, const char* pages,
             const char* jobFile, const char* outputFile) {
    (void)group;
    (void)application;
    FILE* out = fopen(outputFile, "w");
    if (out == NULL) return 99;
    fprintf(out, "%s|%s", pages, jobFile);
    fclose(out);
    return *(const int*)context;
}
