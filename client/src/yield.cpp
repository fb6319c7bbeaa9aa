// The yield callback the request layer calls while it waits. Each request keeps its own
// function and callback word, so searches on several threads never call each other's.
#include "qel_client.h"

namespace {

thread_local ClientYieldFn yieldFunction = nullptr;
thread_local uint32_t callbackWord = 0;

}  // namespace

void Client_SetYieldFunction(ClientYieldFn fn) { yieldFunction = fn; }
void Client_SetCallbackWord(uint32_t word) { callbackWord = word; }
uint32_t Client_GetCallbackWord() { return callbackWord; }

extern "C" int CsYieldControlCallback(void) {
    if (yieldFunction) yieldFunction();
    return 0;
}
