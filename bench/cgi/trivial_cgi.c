/* The baseline of the CGI benchmark: the least a CGI program can do, with a reply of the
   same shape as the gateway's error reply. */
#include <stdio.h>

int main(void) {
    static const char body[] = "[ERROR]\nID=2175\nMSG=The function 'bogus' was not found\n";
    printf("Content-type: text/plain; charset=UTF-8\nContent-length: %zu\n\n%s", sizeof body - 1, body);
    return 0;
}
