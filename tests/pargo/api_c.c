/* The library called from C: the header must compile as C and the functions
 * link with C names. Answers 0 when every step held, else the step that failed. */
#include "pargo/pargo.h"

#include <string.h>

int pargo_c_round_trip(void) {
    int value = 0;
    int kind = 0;
    char* text = NULL;

    PRGO_SetArguments("/PORT:0x10 /device:\"My box\" /read /io:pipe:p");
    if (PRGO_LookupArgInt(PRGO_KEY_PORT, &value) != 1 || value != 16) return 1;
    if (PRGO_LookupArgBool(PRGO_KEY_READ, &value) != 1 || value != 0) return 2;
    if (PRGO_LookupArgString(PRGO_KEY_DEVICE, &text) != 1 || text == NULL) return 3;
    if (strcmp(text, "My box") != 0) return 4;
    PRGO_FreeString(text);
    text = NULL;
    if (PRGO_LookupIoArg(&kind, &text) != 1 || kind != PRGO_IO_PIPE || text == NULL) return 5;
    if (strcmp(text, "p") != 0) return 6;
    PRGO_FreeString(text);
    if (PRGO_LookupArgInt(PRGO_KEY_BPS, &value) != 0) return 7;
    return 0;
}
