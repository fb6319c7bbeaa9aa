/* A library that loads but exports none of the exit entries. */
int QelTestNotAnExit(void) { return 0; }
