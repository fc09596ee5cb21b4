// The text font, built into the program so that nothing is looked up at run
// time: DejaVu Sans Bold, embedded whole from the build machine's copy.
#ifndef PXPORT_FONT_FILE
#error "PXPORT_FONT_FILE must name the TrueType file to embed"
#endif

__asm__(
    ".section .rodata\n"
    ".balign 16\n"
    ".global pxport_font_begin\n"
    ".hidden pxport_font_begin\n"
    "pxport_font_begin:\n"
    ".incbin \"" PXPORT_FONT_FILE
    "\"\n"
    ".global pxport_font_end\n"
    ".hidden pxport_font_end\n"
    "pxport_font_end:\n"
    ".byte 0\n"
    ".previous\n");
