// Program entry; the application is assembled in app/gui.
#include "gui/Entry.h"

int main(int argc, char** argv) { return quillon::QuillonMain(argc, argv); }
