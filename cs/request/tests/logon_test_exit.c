/* The security exit of the logon tests: the password (logon) or the new password (user
 * update) names the answer, and the message area reports what the exit was given. */
#include <stdio.h>
#include <string.h>

#include "qel_exits.h"

static int Answer(const char* word) {
    if (word == NULL) return QEL_SECURITY_ACCEPT;
    if (strcmp(word, "EXIT-REFUSE") == 0) return QEL_SECURITY_REFUSE;
    if (strcmp(word, "EXIT-EXPIRED") == 0) return QEL_SECURITY_EXPIRED;
    if (strcmp(word, "EXIT-CHECK") == 0) return QEL_SECURITY_CHECK_PASSWORD;
    if (strcmp(word, "EXIT-WEIRD") == 0) return 77;
    return QEL_SECURITY_ACCEPT;
}

int SECURITY(int32_t function, const char* arg1, const char* arg2, const char* arg3, const char* arg4,
             const char* arg5, char* message, size_t messageSize) {
    snprintf(message, messageSize, "f%d|%s|%s|%s|%s|%s", (int)function, arg1 ? arg1 : "-", arg2 ? arg2 : "-",
             arg3 ? arg3 : "-", arg4 ? arg4 : "-", arg5 ? arg5 : "-");
    return Answer(function == QEL_SECURITY_LOGON ? arg2 : arg5);
}
